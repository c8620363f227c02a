#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""fileserver.shareadmin.share: one share, present or absent."""

from __future__ import annotations

DOCUMENTATION = r"""
---
module: share
short_description: Create, change or remove a share of the file server
version_added: "1.0.0"
description:
  - Makes one share of the file server match the given settings, or removes it.
  - Only the settings given are managed; the others keep their value (or the server's default
    for a new share).
  - Every change made is reported in C(changes).
options:
  name:
    description: Share name (up to 80 characters; compared ignoring case).
    type: str
    required: true
  state:
    description: Whether the share should exist.
    type: str
    choices: [present, absent]
    default: present
  volume:
    description:
      - Volume the share is on. Needed only to create a share; an existing share (or the one
        I(renamed_from) names) keeps its volume when this is left out.
    type: str
  path:
    description:
      - Directory within the volume, C(/dir/sub) form.
      - When left out, a new share is of the volume's root and an existing one stays where it
        is.
    type: str
  renamed_from:
    description:
      - Former name of the share. When no share called I(name) exists but one called
        I(renamed_from) does, that share is renamed instead of a new one created.
    type: str
  comment:
    description: Comment (up to 47 characters).
    type: str
  max_users:
    description: User limit; C(0) means no limit.
    type: int
  encrypt_data:
    description: Encrypt the share's data.
    type: bool
  folder_redirection:
    description: Folder redirection.
    type: bool
  atm_backup:
    description: ATM backup.
    type: bool
  mfa:
    description: Multi-factor authentication share level.
    type: bool
  force:
    description:
      - With I(state=absent), remove the share even when clients have it mapped. The server
        then drops the share from those clients, together with the files they hold open in it.
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
- name: Project share on VOL1, data encrypted, at most 50 users
  fileserver.shareadmin.share:
    name: projects
    volume: VOL1
    path: /projects
    comment: Project workspaces
    encrypt_data: true
    max_users: 50

- name: The old share is gone, even if clients still use it
  fileserver.shareadmin.share:
    name: scratch
    state: absent
    force: true
"""

RETURN = r"""
changes:
  description: The changes made (in check mode, that would be made), in order.
  returned: always
  type: list
  elements: dict
  contains:
    kind:
      description: C(add), C(change), C(rename) or C(remove).
      type: str
    target:
      description: What is changed, for example C(share projects).
      type: str
    field:
      description: The setting changed, or null for a whole share.
      type: str
    old:
      description: The value before.
      type: raw
    new:
      description: The value after.
      type: raw
    text:
      description: The change as one line of C(shareadm config diff).
      type: str
  sample:
    - kind: change
      target: share projects
      field: comment
      old: Projects
      new: Project workspaces
      text: '~ share projects comment: "Projects" -> "Project workspaces"'
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    COMMON_ARGS, SHARE_FIELDS, Shareadm)


def existing_volume(tool, name, renamed_from):
    """The volume of the share the task changes; fails the task when it would create one."""
    shares = {s["name"].upper(): s for s in tool.export()["shares"]}
    for candidate in (name, renamed_from):
        if candidate and candidate.upper() in shares:
            return shares[candidate.upper()]["volume"]
    tool.module.fail_json(msg=f"share {name} does not exist: volume is required to create it")


def main():
    module = AnsibleModule(
        dict(
            name=dict(type="str", required=True),
            state=dict(type="str", choices=["present", "absent"], default="present"),
            volume=dict(type="str"),
            path=dict(type="str"),
            renamed_from=dict(type="str"),
            comment=dict(type="str"),
            max_users=dict(type="int"),
            encrypt_data=dict(type="bool"),
            folder_redirection=dict(type="bool"),
            atm_backup=dict(type="bool"),
            mfa=dict(type="bool"),
            force=dict(type="bool", default=False),
            **COMMON_ARGS),
        supports_check_mode=True)
    tool = Shareadm(module)
    p = module.params
    if p["state"] == "present":
        share = {k: p[k] for k in SHARE_FIELDS + ("renamed_from",) if p[k] is not None}
        if p["volume"] is None:
            share["volume"] = existing_volume(tool, p["name"], p["renamed_from"])
        result = tool.apply({"shares": [share]})
    else:
        # Every other share as it is, with --prune: only this one can go.
        others = [s for s in tool.export()["shares"] if s["name"].upper() != p["name"].upper()]
        result = tool.apply({"shares": others}, prune=True, force=p["force"])
    module.exit_json(**result)


if __name__ == "__main__":
    main()
