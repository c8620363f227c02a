# SPDX-License-Identifier: Apache-2.0
"""The package's public surface: documented, typed, and complete."""

from __future__ import annotations

import inspect
import json
import re
import subprocess
import sys
from pathlib import Path

import pytest

import shareadmin as sa
import shareadmin.monitor as mon
from shareadmin import facts

PUBLIC = [(sa, name) for name in sa.__all__] + [(mon, name) for name in mon.__all__]


@pytest.mark.parametrize("module,name", PUBLIC, ids=[f"{m.__name__}.{n}" for m, n in PUBLIC])
def test_public_name_is_documented_and_typed(module: object, name: str) -> None:
    obj = getattr(module, name)
    if inspect.ismodule(obj) or isinstance(obj, tuple):
        return
    assert inspect.getdoc(obj), f"{name} has no docstring"
    if inspect.isfunction(obj):
        hints = inspect.get_annotations(obj)
        assert "return" in hints and set(inspect.signature(obj).parameters) <= set(hints)


def test_every_library_function_is_reached() -> None:
    # Each CIFSLIB_* and Ext_* function the headers declare is called by some module.
    root = Path(sa.__file__).parent
    source = "".join(p.read_text() for p in root.glob("*.py"))
    include = Path(__file__).resolve().parents[2] / "include" / "shareadmin"
    declared = set(re.findall(r"\b((?:CIFSLIB|Ext)_\w+)\(",
                              (include / "api.h").read_text()
                              + (include / "monitor.h").read_text()))
    assert declared and {f for f in declared if f"lib.{f}" not in source} == set()


def test_type_hints_check_strictly() -> None:
    pytest.importorskip("mypy")  # python3-mypy
    out = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--ignore-missing-imports",
                          "--cache-dir=/dev/null", str(Path(sa.__file__).parent)],
                         capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stdout


# A facts file, and what loading it does: the package cannot work without one.
FACTS_FILES = {
    "missing": (None, "is missing"),
    "not JSON": ("{", "cannot be read"),
    "another schema": ('{"schema_version": 2}', "schema version 1"),
    "malformed": ('{"schema_version": 1, "statuses": [{"code": 1}]}', "is malformed"),
}


@pytest.mark.parametrize("case", FACTS_FILES)
def test_an_unusable_facts_file_is_named(tmp_path: Path, case: str) -> None:
    text, says = FACTS_FILES[case]
    path = tmp_path / "facts.json"
    if text is not None:
        path.write_text(text)
    with pytest.raises(sa.FactsMissing, match=says) as e:
        facts.load(path)
    assert str(path) in str(e.value)


def test_a_small_facts_file_loads(tmp_path: Path) -> None:
    path = tmp_path / "facts.json"
    path.write_text(json.dumps({
        "schema_version": 1, "statuses": [{"code": 4, "name": "no-such-share", "text": "t"}],
        "exit_statuses": [],
        "value_rules": {"max-users": {"kind": "number", "min": 0, "max": 9, "words": [],
                                      "accepted": "a number from 0 to 9"}},
        "options": {"smb-signing": {"kind": "u8", "keywords": [{"word": "YES", "value": 1},
                                                               {"word": "OPTIONAL", "value": 1}],
                                    "default": 1, "help": "h"}}}))
    f = facts.load(path)
    assert f.statuses == {4: ("no-such-share", "t")} and f.rules["max-users"].max == 9
    assert f.options["smb-signing"].keyword_for(1) == "YES"
    assert f.options["smb-signing"].keyword_for(2) is None
