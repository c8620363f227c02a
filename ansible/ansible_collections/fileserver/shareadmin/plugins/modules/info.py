#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""fileserver.shareadmin.info: the server's configuration and how busy it is."""

from __future__ import annotations

DOCUMENTATION = r"""
---
module: info
short_description: Read the file server's configuration and connection counts
version_added: "1.0.0"
description:
  - Returns the file server's configuration as C(shareadm config export) prints it (shares,
    options, invalid users, user contexts) and the numbers of client connections and open
    files.
  - Changes nothing.
options: {}
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
- name: Read the server
  fileserver.shareadmin.info:
  register: server

- name: Shares nobody should have
  ansible.builtin.debug:
    msg: "{{ server.shares | map(attribute='name') | list }}"
"""

RETURN = r"""
shares:
  description: Every share, with the keys of the tools' share JSON.
  returned: always
  type: list
  elements: dict
options:
  description: Every server option, in the form its setter accepts.
  returned: always
  type: dict
invalid_users:
  description: The invalid-user cache's time-out and permanent entries.
  returned: always
  type: dict
user_contexts:
  description: The user contexts.
  returned: always
  type: list
  elements: str
connections:
  description: Number of client connections.
  returned: always
  type: int
open_files:
  description: Number of files the clients hold open.
  returned: always
  type: int
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    COMMON_ARGS, Shareadm, listing)


def main():
    module = AnsibleModule(argument_spec=dict(**COMMON_ARGS), supports_check_mode=True)
    tool = Shareadm(module)
    doc = tool.export()
    connections = listing(tool.run_json("connection", "list"), "connections")
    module.exit_json(changed=False, shares=doc["shares"], options=doc["options"],
                     invalid_users=doc["invalid_users"], user_contexts=doc["user_contexts"],
                     connections=len(connections),
                     open_files=sum(c.get("open_files", 0) for c in connections))


if __name__ == "__main__":
    main()
