#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""fileserver.shareadmin.server_option: one server option by name."""

from __future__ import annotations

DOCUMENTATION = r"""
---
module: server_option
short_description: Set one option of the file server
version_added: "1.0.0"
description:
  - Sets one server option, by the name C(shareadm option) uses, to a value in the form its
    setter accepts (C(shareadm option show) prints every option with its value).
  - Values the server stores alike count as equal (C(OPTIONAL) and C(YES) of C(smb-signing)),
    so a second run reports no change.
  - The library's own checks decide whether a value is accepted; a refused value fails the
    task with the library's message and changes nothing.
  - The options' keywords come from C(facts.json) of the installed tools (beside C(shareadm), or
    C(/usr/share/shareadmin/facts.json)). With it, a C(true) or C(false) (what YAML makes of an
    unquoted C(YES) or C(NO)) is the option's C(YES) or C(NO), and the result of a refused value
    says in C(accepted) what the option accepts.
options:
  name:
    description:
      - Option name, for example C(smb-signing), C(dialect) or C(oplock-break-ack-timeout);
        also C(cache) (a dict of C(sdircache), C(dircache), C(filecache)),
        C(dfs-referral-cache-duration), C(share-volumes-by-default) (server name to C(YES) or
        C(NO)), C(virtual-server) and C(dns-entry) (lists of C(name) and C(address)) and
        C(multichannel-interface) (a list of names). Entries of the lists are added, never
        removed.
    type: str
    required: true
  value:
    description: The value (a word, a number, or a list or dict for the options above).
    type: raw
    required: true
extends_documentation_fragment:
  - fileserver.shareadmin.shareadm
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
author:
  - File server administration tools
"""

EXAMPLES = r"""
- name: Signing required
  fileserver.shareadmin.server_option:
    name: smb-signing
    value: FORCE

- name: Bigger directory cache
  fileserver.shareadmin.server_option:
    name: cache
    value:
      dircache: 4096
"""

RETURN = r"""
changes:
  description: The changes made (in check mode, that would be made), as in C(fileserver.shareadmin.share).
  returned: always
  type: list
  elements: dict
  sample:
    - kind: change
      target: option smb-signing
      field: null
      old: "YES"
      new: FORCE
      text: '~ option smb-signing: "YES" -> "FORCE"'
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.fileserver.shareadmin.plugins.module_utils import facts as share_facts
from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    COMMON_ARGS, Shareadm)


def main():
    module = AnsibleModule(
        dict(name=dict(type="str", required=True),
                           value=dict(type="raw", required=True), **COMMON_ARGS),
        supports_check_mode=True)
    tool = Shareadm(module)
    name = module.params["name"]
    facts = share_facts.load(tool.binary)
    value = share_facts.option_value(facts, name, module.params["value"])
    accepted = share_facts.accepted(facts, name)
    if accepted:
        tool.failure_details["accepted"] = accepted
    result = tool.apply({"options": {name: value}})
    module.exit_json(**result)


if __name__ == "__main__":
    main()
