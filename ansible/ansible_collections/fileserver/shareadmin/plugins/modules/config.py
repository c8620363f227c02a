#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""fileserver.shareadmin.config: a whole configuration document."""

from __future__ import annotations

DOCUMENTATION = r"""
---
module: config
short_description: Converge the file server to a configuration document
version_added: "1.0.0"
description:
  - Applies a configuration document (the format C(shareadm config export) prints, with the
    sections C(shares), C(options), C(invalid_users) and C(user_contexts)) with
    C(shareadm config apply).
  - The whole document is checked first; when anything in it is refused nothing is changed and
    the task fails listing every problem with its JSON pointer.
  - Changes are made in a safe order (renames, creations, changes, removals last); when the
    server refuses one part-way the task fails, is C(changed) when anything was applied, and
    reports in C(changes), C(failed_changes) and C(not_applied) what was applied, what was
    refused and what was not tried; running it again continues from there.
  - Option values are taken as in M(fileserver.shareadmin.server_option) (C(true) and C(false)
    for C(YES) and C(NO), numbers given as text).
options:
  document:
    description: The document, as a dict. Exactly one of I(document) and I(src) is given.
    type: dict
  src:
    description: Path of a document file on the managed host.
    type: path
  prune:
    description:
      - Remove what the document's sections do not list (shares, permanent invalid users,
        user contexts, entries of list options). Sections the document leaves out are not
        touched.
    type: bool
    default: false
  force:
    description:
      - With I(prune), remove shares that clients have mapped too. The server then drops the
        share from those clients, together with the files they hold open in it.
    type: bool
    default: false
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
- name: The configuration kept in version control
  fileserver.shareadmin.config:
    document: "{{ lookup('file', 'fileserver.json') | from_json }}"
    prune: true

- name: Two shares and signing, nothing else managed
  fileserver.shareadmin.config:
    document:
      shares:
        - {name: projects, volume: VOL1, path: /projects}
        - {name: public, volume: VOL1, path: /public, comment: Files for everyone}
      options:
        smb-signing: FORCE
"""

RETURN = r"""
changes:
  description: The changes made (in check mode, that would be made), as in C(fileserver.shareadmin.share).
  returned: always
  type: list
  elements: dict
  sample:
    - kind: add
      target: share public
      field: null
      old: null
      new: {name: public, volume: VOL1, path: /public}
      text: '+ share public {"name":"public","volume":"VOL1","path":"/public"}'
failed_changes:
  description: When the server refused a change part-way, that change with the server's message.
  returned: failure
  type: list
  elements: dict
not_applied:
  description: When the server refused a change part-way, the changes after it, not tried.
  returned: failure
  type: list
  elements: dict
"""

import json

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.fileserver.shareadmin.plugins.module_utils import facts as share_facts
from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    COMMON_ARGS, Shareadm)


def main():
    module = AnsibleModule(
        dict(document=dict(type="dict"), src=dict(type="path"),
                           prune=dict(type="bool", default=False),
                           force=dict(type="bool", default=False), **COMMON_ARGS),
        required_one_of=[("document", "src")],
        mutually_exclusive=[("document", "src")],
        supports_check_mode=True)
    document = module.params["document"]
    if document is None:
        try:
            with open(module.params["src"], encoding="utf-8") as f:
                document = json.load(f)
        except (OSError, ValueError) as e:
            module.fail_json(msg=f"cannot read {module.params['src']}: {e}")
    if not isinstance(document, dict):
        module.fail_json(msg="document: must be a mapping of the sections shares, options, "
                             "invalid_users and user_contexts")
    document = {k: v for k, v in document.items() if k != "schema_version"}
    tool = Shareadm(module)
    if "options" in document:
        facts = share_facts.load(tool.binary)
        document["options"] = share_facts.document_options(facts, document["options"])
    result = tool.apply(document, prune=module.params["prune"],
                                    force=module.params["force"])
    module.exit_json(**result)


if __name__ == "__main__":
    main()
