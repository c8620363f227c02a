# SPDX-License-Identifier: Apache-2.0
"""Generated invalid documents against the stand-in server: from its own export (a random
population), each value rule broken alone or several at once, mixed with valid changes. Whatever
the mix, `config apply` exits 1, names every mistake at its pointer, and the server's state file
stays byte-identical: a document with mistakes changes nothing.

HOSTILE_EXAMPLES sets the number of examples per run (default 40); HOSTILE_SEED replays the
"random" run of a failure and HOSTILE_POPULATION its server population (both are printed)."""

from __future__ import annotations

import copy
import importlib.machinery
import json
import os
import random
import sys
import time
import types
from pathlib import Path
from typing import Any, Callable

import pytest
from hypothesis import HealthCheck, given, seed, settings
from hypothesis import strategies as st

# The contract suites' server and runner, under a name of their own (this folder has a conftest).
_loader = importlib.machinery.SourceFileLoader(
    "contract_support", str(Path(__file__).resolve().parents[1] / "contract" / "conftest.py"))
_contract = sys.modules["contract_support"] = types.ModuleType("contract_support")
_contract.__file__ = _loader.path
_loader.exec_module(_contract)
Sim, run = _contract.Sim, _contract.run

EXAMPLES = int(os.environ.get("HOSTILE_EXAMPLES", "40"))
FIXED_SEED = 20250925
POPULATION_SEED = int(os.environ.get("HOSTILE_POPULATION", random.randrange(1, 1 << 16)))

# A break: (name, text of the value or None for a structural edit, how to apply it to a doc).
# Each apply returns the pointer the mistake must be reported at.
Doc = dict[str, Any]


def _append(section: str, key: str | None, value: Any) -> Callable[[Doc], str]:
    def apply(doc: Doc) -> str:
        target = doc.setdefault(section, {} if key else [])
        if key:
            target = target.setdefault(key, [])
        target.append(value)
        return f"/{section}/{key + '/' if key else ''}{len(target) - 1}"
    return apply


def _share(**fields: Any) -> Callable[[Doc], str]:
    def apply(doc: Doc) -> str:
        shares = doc.setdefault("shares", [])
        share = {"name": f"bad{len(shares)}", "volume": "VOL1", **fields}
        shares.append(share)
        field = next(iter(fields))
        return f"/shares/{len(shares) - 1}/{field}"
    return apply


def _option_member(option: str, member: Any) -> Callable[[Doc], str]:
    def apply(doc: Doc) -> str:
        members = doc.setdefault("options", {}).setdefault(option, [])
        members.append(member)
        return f"/options/{option}/{len(members) - 1}"
    return apply


BREAKS: dict[str, Callable[[Doc], str]] = {
    "nul in a permanent user": _append("invalid_users", "permanent", "mal\0lory"),
    "empty permanent user": _append("invalid_users", "permanent", ""),
    "empty user context": _append("user_contexts", None, ""),
    "nul in a user context": _append("user_contexts", None, "ou=x\0"),
    "dns entry of 16 bytes": _option_member("dns-entry", {"name": "d" * 16}),
    "interface of 16 bytes": _option_member("multichannel-interface", "i" * 16),
    "interface with a space": _option_member("multichannel-interface", "eth 9"),
    "virtual server of 256 bytes": _option_member("virtual-server", {"name": "v" * 256}),
    "share a/b": _share(name="a/b"),
    "share empty": _share(name=""),
    "share a*b": _share(name="a*b"),
    "share with a tab": _share(name="a\tb"),
    "share named as a volume": _share(name="vol1"),
    "share nul": _share(name="n\0ul"),
    "share on the administrative volume": _share(volume="_ADMIN"),
    "path with a backslash": _share(path="/a\\b"),
    "comment with a control character": _share(comment="bell\x07"),
    "max users 70000": _share(max_users=70000),
}

# Breaks of the text itself: the reader stops at them, so one per document, alone.
TEXT_BREAKS: dict[str, tuple[str, str]] = {
    # name: (replacement of the placeholder, pointer)
    "number beyond a double": ('"timeout_minutes": 1e400', ""),
    "duplicate key": ('"timeout_minutes": 5, "timeout_minutes": 6', "/invalid_users/timeout_minutes"),
}
PLACEHOLDER = '"timeout_minutes": "PLACEHOLDER"'


@pytest.fixture(scope="module")
def server(tmp_path_factory: pytest.TempPathFactory):
    """A stand-in server with a random population (its seed printed), its state file and its
    export."""
    state = tmp_path_factory.mktemp("hostile") / "state.json"
    sim = Sim("--state", str(state), "--clients", "6", "--seed", str(POPULATION_SEED))
    try:
        deadline = time.monotonic() + 10  # the server answers before it writes its first state
        while not state.exists() and time.monotonic() < deadline:
            time.sleep(0.01)
        time.sleep(0.2)
        exported = run("shareadm", "config", "export")
        assert exported.status == 0, exported.stderr
        yield state, json.loads(exported.stdout)
    finally:
        sim.stop()


valid_names = st.text(alphabet="abcdefghijklmnopqrstuvwxyz0123456789-_", min_size=1, max_size=12)


@st.composite
def hostile(draw: st.DrawFn, base: Doc) -> tuple[str, set[str], list[str]]:
    """A document text, the pointers its mistakes must be reported at, and the breaks used."""
    doc = copy.deepcopy(base)
    # Valid changes first: new shares, a comment, a context.
    taken = {s["name"].upper() for s in doc.get("shares", [])} | {"VOL1", "VOL2", "_ADMIN"}
    for name in draw(st.lists(valid_names, max_size=3, unique_by=str.upper)):
        if ("h" + name).upper() not in taken:
            doc.setdefault("shares", []).append({"name": "h" + name, "volume": "VOL2"})
    if doc.get("shares") and draw(st.booleans()):
        doc["shares"][0]["comment"] = draw(st.text(alphabet="abc xyz", max_size=20)).strip()
    if draw(st.booleans()):
        doc.setdefault("user_contexts", []).append("ou=" + draw(valid_names))
    if draw(st.booleans()):
        text_break = draw(st.sampled_from(sorted(TEXT_BREAKS)))
        replacement, pointer = TEXT_BREAKS[text_break]
        doc.setdefault("invalid_users", {})["timeout_minutes"] = "PLACEHOLDER"
        text = json.dumps(doc).replace(PLACEHOLDER, replacement)
        assert replacement in text
        return text, {pointer}, [text_break]
    names = draw(st.lists(st.sampled_from(sorted(BREAKS)), min_size=1, max_size=4, unique=True))
    pointers = {BREAKS[n](doc) for n in names}
    return json.dumps(doc), pointers, names


def check_refused(state: Path, tmp_path: Path, text: str, pointers: set[str]) -> None:
    before = state.read_bytes()
    path = tmp_path / "doc.json"
    path.write_text(text)
    r = run("shareadm", "--json", "config", "apply", str(path))
    assert r.status == 1, (r.status, r.stdout, r.stderr)
    found = {p["pointer"] for p in r.json()["problems"]}
    assert pointers <= found, (pointers - found, r.stderr)
    assert state.read_bytes() == before


def say(capsys: pytest.CaptureFixture, line: str) -> None:
    """A line on the terminal, past the capture: the figures and the seed to replay."""
    with capsys.disabled():
        print("\n" + line, flush=True)


def run_property(server, tmp_path_factory: pytest.TempPathFactory, which: int,
                 capsys: pytest.CaptureFixture) -> None:
    state, base = server
    counted = []

    @settings(max_examples=EXAMPLES, deadline=None, database=None,
              suppress_health_check=[HealthCheck.function_scoped_fixture, HealthCheck.too_slow])
    @seed(which)
    @given(data=st.data())
    def invalid_documents_change_nothing(data: st.DataObject) -> None:
        text, pointers, names = data.draw(hostile(base), label="document")
        counted.append(names)
        check_refused(state, tmp_path_factory.mktemp("doc"), text, pointers)

    invalid_documents_change_nothing()
    say(capsys, f"{len(counted)} invalid documents refused, state unchanged (seed {which}, "
                f"population {POPULATION_SEED}); breaks used: "
                f"{len({n for c in counted for n in c})} of {len(BREAKS) + len(TEXT_BREAKS)}")


def test_invalid_documents_change_nothing_fixed_seed(server, tmp_path_factory, capsys):
    run_property(server, tmp_path_factory, FIXED_SEED, capsys)


def test_invalid_documents_change_nothing_random_seed(server, tmp_path_factory, capsys):
    which = int(os.environ.get("HOSTILE_SEED", random.randrange(1 << 32)))
    say(capsys, f"hypothesis seed: {which} (HOSTILE_SEED={which} replays it)")
    run_property(server, tmp_path_factory, which, capsys)


# Each break alone, as the regression cases of the defects it stands for.
@pytest.mark.parametrize("name", sorted(BREAKS) + sorted(TEXT_BREAKS))
def test_each_break_alone_changes_nothing(server, tmp_path, name):
    state, base = server
    doc = copy.deepcopy(base)
    if name in TEXT_BREAKS:
        replacement, pointer = TEXT_BREAKS[name]
        doc.setdefault("invalid_users", {})["timeout_minutes"] = "PLACEHOLDER"
        check_refused(state, tmp_path, json.dumps(doc).replace(PLACEHOLDER, replacement),
                      {pointer})
    else:
        pointer = BREAKS[name](doc)
        check_refused(state, tmp_path, json.dumps(doc), {pointer})


def test_a_document_beyond_the_size_limit_is_refused_unread(server, tmp_path):
    state, _ = server
    before = state.read_bytes()
    path = tmp_path / "huge.json"
    with open(path, "w") as f:
        f.write('{"schema_version": 1, "user_contexts": [')
        f.write("0," * (9 << 20))
        f.write("0]}")
    r = run("shareadm", "config", "apply", str(path))
    assert r.status == 1 and "larger than" in r.stderr, r.stderr
    assert r.stderr.count("\n") < 5
    assert state.read_bytes() == before
