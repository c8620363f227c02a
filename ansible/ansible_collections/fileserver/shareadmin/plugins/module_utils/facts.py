# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""The tools' facts (server options, their keywords and value rules) as the build publishes them
in facts.json beside shareadm, so that the modules hold no copy of them."""

from __future__ import annotations

import json
import os
import re

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


_WHOLE = re.compile(r"\s*[+-]?[0-9]+\s*")


def _value(rule, value):
    """value as rule takes it: a boolean as the rule's YES or NO, a whole number written as text
    (what a template makes of a number) as a number where the rule is numeric."""
    if isinstance(value, bool):
        word = _word(rule.get("words", []), value)
        return word if word is not None else value
    if isinstance(value, str) and rule.get("kind") in ("number", "cache") and \
            _WHOLE.fullmatch(value):
        return int(value)
    return value


def option_value(facts, name, value):
    """value in the form shareadm takes for option name. YAML reads an unquoted YES or NO as a
    boolean and templates make numbers text: where the option's rule has YES and NO, a boolean
    becomes that keyword; where it takes a number, digits become the number. Other values are
    left for shareadm to judge."""
    if facts is None:
        return value
    rules = facts.get("value_rules", {})
    option = facts.get("options", {}).get(name)
    if option is not None:
        rule = dict(rules.get(option.get("rule"), {}))
        rule["words"] = [k["word"] for k in option.get("keywords", [])]
        return _value(rule, value)
    setting = facts.get("settings", {}).get(name, {})
    rule = rules.get(setting.get("value_rule"), {})
    if setting.get("shape") == "keyed" and isinstance(value, dict):
        return {key: _value(rule, v) for key, v in value.items()}
    if setting.get("shape") == "single":
        return _value(rule, value)
    return value


def document_options(facts, options):
    """A configuration document's options section, each value as option_value makes it."""
    if not isinstance(options, dict):
        return options
    return {name: option_value(facts, name, value) for name, value in options.items()}


def accepted(facts, name):
    """What option name accepts, as the tools word it; None when the facts do not say."""
    if facts is None or name not in facts.get("options", {}):
        return None
    rule = facts["options"][name].get("rule")
    return facts.get("value_rules", {}).get(rule, {}).get("accepted") if rule else None
