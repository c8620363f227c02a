# SPDX-License-Identifier: Apache-2.0
"""How the modules turn shareadm's documents into Ansible's results: the failure message, the
diff, and the values taken from YAML."""

from __future__ import annotations

import pytest

from ansible_collections.fileserver.shareadmin.plugins.module_utils import facts
from ansible_collections.fileserver.shareadmin.plugins.module_utils.shareadm import (
    diff_of, failure_message)

REFUSED_PART_WAY = {"error": "refused", "message": "refused by the server with status 12",
                    "changed": True, "changes": [{"target": "share a"}],
                    "failed": [{"target": "user-context x"}], "not_applied": []}
REJECTED = {"error": "rejected", "message": "2 problems in -; nothing was changed",
            "problems": [{"pointer": "/options/dialect", "message": '"SMB9" must be SMB or SMB3'},
                         {"pointer": "/shares", "message": "removing it needs --force"}],
            "problems_not_shown": 3}


@pytest.mark.parametrize("doc, err, has, lacks", [
    (REJECTED, "", ['/options/dialect: "SMB9" must be SMB or SMB3', "needs force: true",
                    "and 3 more", "nothing was changed"], ["--force", " in -"]),
    (REFUSED_PART_WAY, "", ["status 12", "1 change applied, 1 refused, 0 not applied"], []),
    ({}, "cannot connect\n", ["what: cannot connect"], ["applied"]),
    ({}, "", ["shareadm exited with status 3"], []),
])
def test_failure_message(doc, err, has, lacks):
    text = failure_message("what", doc, err, 3)
    assert all(h in text for h in has) and not any(x in text for x in lacks), text


def test_diff_is_before_and_after_per_target():
    changes = [
        {"kind": "add", "target": "share b", "field": None, "old": None, "new": {"name": "b"}},
        {"kind": "remove", "target": "share c", "field": None, "old": {"name": "c"}, "new": None},
        {"kind": "change", "target": "share a", "field": "comment", "old": "x", "new": "y"},
        {"kind": "change", "target": "option dialect", "field": None, "old": "SMB2",
         "new": "SMB3"},
    ]
    assert diff_of(changes) == {
        "before": {"share c": {"name": "c"}, "share a": {"comment": "x"},
                   "option dialect": "SMB2"},
        "after": {"share b": {"name": "b"}, "share a": {"comment": "y"},
                  "option dialect": "SMB3"}}
    assert diff_of([]) == {"before": {}, "after": {}}


FACTS = {"schema_version": 1,
         "value_rules": {"yes-no": {"kind": "keyword", "words": ["YES", "NO"]},
                         "timeout": {"kind": "number", "words": []},
                         "cache": {"kind": "cache", "words": ["DIRCACHE"]},
                         "name": {"kind": "text", "words": []}},
         "options": {"leasing": {"rule": "yes-no", "keywords": [{"word": "YES"}, {"word": "NO"}]},
                     "timeout": {"rule": "timeout", "keywords": []},
                     "suffix": {"rule": "name", "keywords": []}},
         "settings": {"cache": {"shape": "keyed", "value_rule": "cache"},
                      "volumes": {"shape": "keyed", "value_rule": "yes-no"}}}


@pytest.mark.parametrize("name, given, taken", [
    ("leasing", True, "YES"), ("leasing", False, "NO"), ("leasing", "yes", "yes"),
    ("timeout", "15", 15), ("timeout", " 7 ", 7), ("timeout", "1.5", "1.5"), ("timeout", True, True),
    ("suffix", "15", "15"),
    ("cache", {"dircache": "4096"}, {"dircache": 4096}),
    ("volumes", {"S1": True, "S2": "NO"}, {"S1": "YES", "S2": "NO"}),
    ("unknown", True, True),
])
def test_values_from_yaml(name, given, taken):
    assert facts.option_value(FACTS, name, given) == taken
    assert facts.document_options(FACTS, {name: given}) == {name: taken}
