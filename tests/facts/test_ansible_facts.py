# SPDX-License-Identifier: Apache-2.0
# The Ansible collection's reading of facts.json: where it finds the file, and what it makes of
# the values YAML hands a task.
import importlib.machinery
import json
import os
import types
from pathlib import Path

import pytest

SOURCE = Path(os.environ.get("SHARE_SOURCE_DIR", Path(__file__).resolve().parents[2]))
FACTS_FILE = Path(os.environ["SHARE_FACTS"])
FACTS = json.loads(FACTS_FILE.read_text())
_loader = importlib.machinery.SourceFileLoader(
    "share_ansible_facts",
    str(SOURCE / "ansible/ansible_collections/fileserver/shareadmin/plugins/module_utils/facts.py"))
facts = types.ModuleType("share_ansible_facts")
facts.__file__ = _loader.path
_loader.exec_module(facts)


@pytest.mark.parametrize("layout", ["share/shareadmin/facts.json", "facts/facts.json", None])
def test_found_beside_shareadm_else_the_systems(layout, tmp_path, monkeypatch):
    system = tmp_path / "system.json"
    system.write_text(json.dumps({**FACTS, "options": {}}))
    monkeypatch.setattr(facts, "INSTALLED", str(system))
    (tmp_path / "bin").mkdir()
    (tmp_path / "bin/shareadm").touch()
    if layout:
        (tmp_path / layout).parent.mkdir(parents=True)
        (tmp_path / layout).write_text(FACTS_FILE.read_text())
    found = facts.load(str(tmp_path / "bin/shareadm"))
    assert found["options"] == (FACTS["options"] if layout else {})


def test_an_unreadable_or_other_version_is_not_used(tmp_path, monkeypatch):
    monkeypatch.setattr(facts, "INSTALLED", str(tmp_path / "missing.json"))
    (tmp_path / "bin").mkdir()
    (tmp_path / "share/shareadmin").mkdir(parents=True)
    (tmp_path / "facts").mkdir()
    (tmp_path / "share/shareadmin/facts.json").write_text(json.dumps({"schema_version": 2}))
    (tmp_path / "facts/facts.json").write_text("{")
    assert facts.load(str(tmp_path / "bin/shareadm")) is None
    assert facts.option_value(None, "smb-signing", True) is True


def test_booleans_become_the_options_yes_and_no():
    for name, option in FACTS["options"].items():
        words = {k["word"] for k in option["keywords"]}
        for flag, word in ((True, "YES"), (False, "NO")):
            assert facts.option_value(FACTS, name, flag) == (word if word in words else flag), name
        assert facts.option_value(FACTS, name, "Optional") == "Optional"
    assert facts.option_value(FACTS, "share-volumes-by-default", {"A": True, "B": "no"}) == \
        {"A": "YES", "B": "no"}
    assert facts.option_value(FACTS, "cache", {"dircache": 1}) == {"dircache": 1}


def test_accepted_is_the_options_rule():
    assert facts.accepted(FACTS, "max-users") is None  # a value rule, not an option
    for name, option in FACTS["options"].items():
        rule = option["rule"]
        assert facts.accepted(FACTS, name) == (FACTS["value_rules"][rule]["accepted"] if rule else None)


def test_digits_become_numbers_only_where_the_rule_takes_a_number():
    rules = FACTS["value_rules"]
    for name, option in FACTS["options"].items():
        number = rules.get(option["rule"], {}).get("kind") == "number"
        assert facts.option_value(FACTS, name, "15") == (15 if number else "15"), name
    assert facts.document_options(FACTS, {"cache": {"dircache": "64"}, "leasing": False}) == \
        {"cache": {"dircache": 64}, "leasing": "NO"}
