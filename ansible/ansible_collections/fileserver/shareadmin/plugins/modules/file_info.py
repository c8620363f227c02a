#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""fileserver.shareadmin.file_info: open-file records."""

from __future__ import annotations

DOCUMENTATION = r"""
---
module: file_info
short_description: Read the files the file server's clients hold open
version_added: "1.1.0"
description:
  - Returns open-file records as C(shareadm files list) prints them, of one volume, one
    directory or one connection; the filters are the server's, so only the files asked for
    are listed.
  - Changes nothing.
options:
  volume:
    description: The files open on this volume.
    type: str
  path:
    description: The files open in this directory, C(VOLUME:/dir) form.
    type: str
  connection:
    description: The files this connection holds open.
    type: int
  user:
    description: Only this user's files (full name, or its first part).
    type: str
  path_prefix:
    description: Only files whose path starts with this.
    type: str
  access:
    description: Only files open this way.
    type: str
    choices: [read, write, read+write]
  max:
    description: At most this many files.
    type: int
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
- name: What alice holds open on VOL1
  fileserver.shareadmin.file_info:
    volume: VOL1
    user: alice
  register: held
"""

RETURN = r"""
open_files:
  description: The open-file records.
  returned: always
  type: list
  elements: dict
  sample:
    - {connection: 1, file_id: 1, access: read+write, user: "cn=mike,ou=engineering,o=example",
       path: "VOL1:/public/mike/contract.pdf", volume: VOL1}
total:
  description: How many files match, also those I(max) left out.
  returned: always
  type: int
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    COMMON_ARGS, Shareadm, flags)

FILTERS = dict(volume="--volume", path="--path", connection="--connection", user="--user",
               path_prefix="--path-prefix", access="--access", max="--max")


def main():
    module = AnsibleModule(
        dict(volume=dict(type="str"), path=dict(type="str"),
                           connection=dict(type="int"), user=dict(type="str"),
                           path_prefix=dict(type="str"),
                           access=dict(type="str", choices=["read", "write", "read+write"]),
                           max=dict(type="int"), **COMMON_ARGS),
        required_one_of=[("volume", "path", "connection")],
        mutually_exclusive=[("volume", "path", "connection")],
        supports_check_mode=True)
    doc = Shareadm(module).run_json("files", "list", *flags(module.params, FILTERS))
    files = doc.get("open_files", []) if isinstance(doc, dict) else doc
    total = doc.get("total", len(files)) if isinstance(doc, dict) else len(files)
    module.exit_json(changed=False, open_files=files, total=total)


if __name__ == "__main__":
    main()
