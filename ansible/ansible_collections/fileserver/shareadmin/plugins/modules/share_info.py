#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""fileserver.shareadmin.share_info: share records."""

from __future__ import annotations

DOCUMENTATION = r"""
---
module: share_info
short_description: Read the file server's shares
version_added: "1.1.0"
description:
  - Returns share records as C(shareadm share list) prints them, with their type and the
    number of clients that have each mapped.
  - Changes nothing.
options:
  name:
    description:
      - Only these shares (compared ignoring case). A name no share has is left out of
        I(shares) and listed in I(missing).
    type: list
    elements: str
  volume:
    description: Only the shares of this volume.
    type: str
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
- name: Who uses the project share
  fileserver.shareadmin.share_info:
    name: [projects]
  register: found

- name: Report
  ansible.builtin.debug:
    msg: "{{ found.shares[0].clients }} clients"
"""

RETURN = r"""
shares:
  description: The share records.
  returned: always
  type: list
  elements: dict
  sample:
    - {name: projects, volume: VOL1, path: /projects, comment: Projects, type_name: directory,
       max_users: 0, encrypt_data: false, folder_redirection: false, atm_backup: false,
       mfa: false, full_path: "VOL1:/projects", clients: 8}
missing:
  description: The names of I(name) that no share has.
  returned: always
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    COMMON_ARGS, Shareadm, listing)


def main():
    module = AnsibleModule(
        dict(name=dict(type="list", elements="str"), volume=dict(type="str"),
                           **COMMON_ARGS),
        supports_check_mode=True)
    p = module.params
    args = ["share", "list"] + (["--volume", p["volume"]] if p["volume"] else [])
    shares = listing(Shareadm(module).run_json(*args), "shares")
    missing = []
    if p["name"] is not None:
        wanted = {n.upper() for n in p["name"]}
        shares = [s for s in shares if s["name"].upper() in wanted]
        found = {s["name"].upper() for s in shares}
        missing = [n for n in p["name"] if n.upper() not in found]
    module.exit_json(changed=False, shares=shares, missing=missing)


if __name__ == "__main__":
    main()
