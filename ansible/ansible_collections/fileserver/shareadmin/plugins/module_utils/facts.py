# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""The tools' facts (server options, their keywords and value rules) as the build publishes them
in facts.json beside shareadm, so that the modules hold no copy of them."""

from __future__ import annotations

import json
import os

INSTALLED = "/usr/share/shareadmin/facts.json"


def candidates(shareadm):
    """Where facts.json may be, first match wins: beside the shareadm in use (an installation
    prefix, or a build tree), then the system's."""
    paths = []
    if shareadm:
        prefix = os.path.dirname(os.path.dirname(os.path.realpath(shareadm)))
        paths += [os.path.join(prefix, "share", "shareadmin", "facts.json"),
                  os.path.join(prefix, "facts", "facts.json")]
    paths.append(INSTALLED)
    return paths


def load(shareadm=None):
    """The facts document, or None when there is none to read (an older installation): the
    modules then pass values on unchanged and shareadm alone judges them."""
    for path in candidates(shareadm):
        try:
            with open(path, encoding="utf-8") as f:
                facts = json.load(f)
        except (OSError, ValueError):
            continue
        if isinstance(facts, dict) and facts.get("schema_version") == 1:
            return facts
    return None


def _word(words, flag):
    wanted = "YES" if flag else "NO"
    for w in words:
        if w.upper() == wanted:
            return w
    return None


def option_value(facts, name, value):
    """value in the form shareadm takes for option name. YAML reads an unquoted YES or NO as a
    boolean; where the option's keywords have YES and NO, a boolean becomes that keyword. Other
    values are left for shareadm to judge."""
    if facts is None:
        return value
    option = facts.get("options", {}).get(name)
    if option is not None:
        if isinstance(value, bool):
            word = _word([k["word"] for k in option.get("keywords", [])], value)
            return word if word is not None else value
        return value
    setting = facts.get("settings", {}).get(name, {})
    if setting.get("shape") == "keyed" and isinstance(value, dict):
        words = facts.get("value_rules", {}).get(setting.get("value_rule"), {}).get("words", [])
        return {server: (_word(words, on) or on) if isinstance(on, bool) else on
                for server, on in value.items()}
    return value


def accepted(facts, name):
    """What option name accepts, as the tools word it; None when the facts do not say."""
    if facts is None or name not in facts.get("options", {}):
        return None
    rule = facts["options"][name].get("rule")
    return facts.get("value_rules", {}).get(rule, {}).get("accepted") if rule else None
