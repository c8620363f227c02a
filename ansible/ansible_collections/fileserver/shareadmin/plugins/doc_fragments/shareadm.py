# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""The option every module of the collection takes."""

from __future__ import annotations


class ModuleDocFragment:
    DOCUMENTATION = r"""
options:
  shareadm_path:
    description:
      - Path of the C(shareadm) program on the managed host.
      - By default C(shareadm) is looked up on C(PATH).
    type: path
requirements:
  - C(shareadm) 1.0 or later on the managed host, run with the rights to administer the file
    server.
notes:
  - Changes are made by C(shareadm config apply), which checks the whole request first (nothing
    is changed when any value is refused), and reports exactly what it applied when the server
    refuses a change part-way.
"""
