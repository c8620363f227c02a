#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""fileserver.shareadmin.connection_info: client connection records."""

from __future__ import annotations

DOCUMENTATION = r"""
---
module: connection_info
short_description: Read the file server's client connections
version_added: "1.1.0"
description:
  - Returns client connection records as C(shareadm connections list) prints them; the
    filters are the server's, so only the connections asked for are listed.
  - To count connections only, use M(fileserver.shareadmin.server_info) with
    I(gather=[counts]).
  - Changes nothing.
options:
  user:
    description: Only this user's connections (full name, or its first part).
    type: str
  address:
    description: Only connections from this address.
    type: str
  workstation:
    description: Only connections from this workstation.
    type: str
  idle_over:
    description: Only connections idle for more than this many seconds.
    type: int
  with_files:
    description: Only connections that hold files open.
    type: bool
    default: false
extends_documentation_fragment:
  - fileserver.shareadmin.shareadm
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
author:
  - File server administration tools
"""

EXAMPLES = r"""
- name: Alice's sessions
  fileserver.shareadmin.connection_info:
    user: alice
  register: sessions
"""

RETURN = r"""
connections:
  description: The connection records.
  returned: always
  type: list
  elements: dict
  sample:
    - {id: 1, workstation: WS-1001, user: "cn=mike,ou=engineering,o=example",
       address: 198.51.100.96, dialect: SMB 2.1, idle_seconds: 480, open_files: 2,
       mapped_shares: 4}
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    COMMON_ARGS, Shareadm, flags, listing)

FILTERS = dict(user="--user", address="--address", workstation="--workstation",
               idle_over="--idle-over")


def main():
    module = AnsibleModule(
        dict(user=dict(type="str"), address=dict(type="str"),
                           workstation=dict(type="str"), idle_over=dict(type="int"),
                           with_files=dict(type="bool", default=False), **COMMON_ARGS),
        supports_check_mode=True)
    args = ["connections", "list", *flags(module.params, FILTERS)]
    if module.params["with_files"]:
        args.append("--with-files")
    module.exit_json(changed=False,
                     connections=listing(Shareadm(module).run_json(*args), "connections"))


if __name__ == "__main__":
    main()
