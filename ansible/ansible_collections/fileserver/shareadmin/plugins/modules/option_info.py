#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""fileserver.shareadmin.option_info: server option values."""

from __future__ import annotations

DOCUMENTATION = r"""
---
module: option_info
short_description: Read the file server's options
version_added: "1.1.0"
description:
  - Returns the server options' values as C(shareadm option show) prints them, in the form
    M(fileserver.shareadmin.server_option) accepts.
  - Changes nothing.
options:
  name:
    description: Only these options. A name the server does not have fails the task.
    type: list
    elements: str
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
- name: Signing and dialect
  fileserver.shareadmin.option_info:
    name: [smb-signing, dialect]
  register: found
"""

RETURN = r"""
options:
  description: Option name to value.
  returned: always
  type: dict
  sample: {smb-signing: "YES", dialect: SMB3}
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    COMMON_ARGS, Shareadm)


def main():
    module = AnsibleModule(dict(name=dict(type="list", elements="str"),
                                              **COMMON_ARGS),
                           supports_check_mode=True)
    options = Shareadm(module).run_json("option", "show").get("options", {})
    names = module.params["name"]
    if names is not None:
        unknown = [n for n in names if n not in options]
        if unknown:
            module.fail_json(msg=f"name: no server option {', '.join(unknown)}; the options are "
                                 f"{', '.join(options)}")
        options = {n: options[n] for n in names}
    module.exit_json(changed=False, options=options)


if __name__ == "__main__":
    main()
