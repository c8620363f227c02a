#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""fileserver.shareadmin.server_info: the server's configuration and how busy it is."""

from __future__ import annotations

DOCUMENTATION = r"""
---
module: server_info
short_description: Read the file server's configuration and counts
version_added: "1.1.0"
description:
  - Returns the file server's configuration as C(shareadm config export) prints it (shares,
    options, invalid users, user contexts) and the numbers of client connections and open
    files, counted by the server (no connection is listed to count them).
  - Changes nothing. Replaces C(fileserver.shareadmin.info), which is kept as a deprecated
    name of this module.
  - The records themselves are read by M(fileserver.shareadmin.share_info),
    M(fileserver.shareadmin.connection_info), M(fileserver.shareadmin.file_info) and
    M(fileserver.shareadmin.option_info).
options:
  gather:
    description:
      - What to read. C(config) is the configuration document's four sections; C(counts) the
        numbers of connections, open files, shares and volumes.
    type: list
    elements: str
    choices: [config, counts]
    default: [config, counts]
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
- name: How busy the server is
  fileserver.shareadmin.server_info:
    gather: [counts]
  register: server

- name: Report
  ansible.builtin.debug:
    msg: "{{ server.connections }} connections, {{ server.open_files }} open files"
"""

RETURN = r"""
shares:
  description: Every share, with the keys of the configuration document.
  returned: when I(gather) has C(config)
  type: list
  elements: dict
options:
  description: Every server option, in the form its setter accepts.
  returned: when I(gather) has C(config)
  type: dict
invalid_users:
  description: The invalid-user cache's time-out and permanent entries.
  returned: when I(gather) has C(config)
  type: dict
user_contexts:
  description: The user contexts.
  returned: when I(gather) has C(config)
  type: list
  elements: str
connections:
  description: Number of client connections.
  returned: when I(gather) has C(counts)
  type: int
open_files:
  description: Number of files the clients hold open.
  returned: when I(gather) has C(counts)
  type: int
share_count:
  description: Number of shares.
  returned: when I(gather) has C(counts)
  type: int
volumes:
  description: Number of volumes.
  returned: when I(gather) has C(counts)
  type: int
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    COMMON_ARGS, Shareadm)

SECTIONS = ("shares", "options", "invalid_users", "user_contexts")


def main():
    module = AnsibleModule(
        dict(gather=dict(type="list", elements="str", choices=["config", "counts"],
                                       default=["config", "counts"]), **COMMON_ARGS),
        supports_check_mode=True)
    tool = Shareadm(module)
    result = {}
    if "config" in module.params["gather"]:
        doc = tool.export()
        result.update({k: doc[k] for k in SECTIONS})
    if "counts" in module.params["gather"]:
        status = tool.run_json("option", "status")
        result.update(connections=status["connections"], open_files=status["open_files"],
                      share_count=status["shares"], volumes=status["volumes"])
    module.exit_json(changed=False, **result)


if __name__ == "__main__":
    main()
