# SPDX-License-Identifier: Apache-2.0
"""shareadm config export / diff / apply against the stand-in server: round trips, idempotence,
every mistake of a bad document reported with nothing changed, a refusal part-way, pruning, and
the figures for 1,000 shares."""

from __future__ import annotations

import json
import os
import re
import time
from pathlib import Path

import jsonschema
import pytest

from conftest import SOURCE_DIR, Sim, run

SCHEMA = json.loads((SOURCE_DIR / "schema" / "config.schema.json").read_text())
# What config diff and config apply print, checked against its part of the published schema.
RESULT = {"$defs": SCHEMA["$defs"], **SCHEMA["$defs"]["plan_result"]}


def sanitized() -> bool:
    """Figures mean nothing in a sanitizer build; they are printed, not bounded."""
    cache = Path(os.environ.get("SHARE_BUILD_DIR", "build")) / "CMakeCache.txt"
    return cache.exists() and re.search(r"^SHARE_SANITIZE:\w+=\S", cache.read_text(),
                                        re.M) is not None


def export() -> dict:
    r = run("shareadm", "config", "export")
    assert r.status == 0, r.stderr
    return json.loads(r.stdout)


def write(tmp_path: Path, doc: dict, name: str = "wanted.json") -> str:
    path = tmp_path / name
    path.write_text(json.dumps(doc))
    return str(path)


def apply(path: str, *flags: str):
    r = run("shareadm", "--json", "config", "apply", path, *flags)
    return r, json.loads(r.stdout)


def share(name: str, volume: str = "VOL1", **fields) -> dict:
    return {"name": name, "volume": volume, "path": "/" + name.lower(), **fields}


def test_export_is_byte_stable_and_follows_the_published_schema(sim):
    first = run("shareadm", "config", "export")
    second = run("shareadm", "config", "export")
    assert first.status == 0 and first.stdout == second.stdout
    doc = json.loads(first.stdout)
    assert next(iter(doc)) == "schema_version"
    jsonschema.validate(doc, SCHEMA)
    # The schema names exactly the options the server reports: one list, kept in step.
    assert set(doc["options"]) == set(SCHEMA["$defs"]["options"]["properties"])
    assert [s["name"] for s in doc["shares"]] == ["home", "projects", "public"]
    assert doc["invalid_users"]["permanent"] == ["guest"]  # temporary entries are not config


def test_export_to_a_file(sim, tmp_path):
    target = tmp_path / "exported.json"
    r = run("shareadm", "config", "export", "--output", str(target))
    assert r.status == 0, r.stderr
    assert json.loads(target.read_text()) == export()
    assert list(tmp_path.iterdir()) == [target]


def test_round_trip_to_a_fresh_server_and_idempotence(sim, tmp_path):
    seeded = export()
    path = write(tmp_path, seeded)
    sim.stop()
    fresh = Sim()
    try:
        assert run("shareadm", "config", "diff", path).status == 4
        r, first = apply(path)
        assert r.status == 0, r.stderr
        assert first["changed"] is True and first["failed"] == []
        assert {c["target"] for c in first["changes"]} >= {"share home", "invalid-user guest"}
        r, second = apply(path)
        assert r.status == 0 and second["changed"] is False and second["changes"] == []
        assert run("shareadm", "config", "diff", path).status == 0
        assert export() == seeded
    finally:
        fresh.stop()


def test_diff_lists_each_field_and_apply_converges(sim, tmp_path):
    doc = export()
    home = doc["shares"][0]
    home.update(comment="Homes", max_users=5, encrypt_data=True, mfa=True)
    projects = doc["shares"][1]
    projects.update(name="work", renamed_from="projects")
    doc["shares"].append(share("Media", atm_backup=True))
    doc["options"]["smb-signing"] = "force"
    doc["options"]["cache"]["dircache"] = 300
    doc["user_contexts"].append("ou=new,o=example")
    path = write(tmp_path, doc)

    r = run("shareadm", "--json", "config", "diff", path)
    assert r.status == 4, r.stderr
    changes = [(c["kind"], c["target"], c["field"]) for c in r.json()["changes"]]
    # Renames first, then creations, then changes.
    assert changes == [
        ("rename", "share projects", "name"),
        ("add", "share Media", None),
        ("add", "user-context ou=new,o=example", None),
        ("change", "share home", "comment"),
        ("change", "share home", "encrypt_data"),
        ("change", "share home", "max_users"),
        ("change", "share home", "mfa"),
        ("change", "option smb-signing", None),
        ("change", "option cache", "dircache"),
    ]
    text = run("shareadm", "config", "diff", path)
    assert text.status == 4
    assert '~ share home comment: "Home directories" -> "Homes"' in text.stdout.splitlines()

    r, result = apply(path)
    assert r.status == 0, r.stderr
    assert len(result["changes"]) == len(changes)
    assert run("shareadm", "config", "diff", path).status == 0
    # A limit back to none, a word the server stores as another (OPTIONAL is YES).
    home.update(max_users=0)
    doc["options"]["smb-signing"] = "optional"
    r, result = apply(write(tmp_path, doc))
    assert r.status == 0 and len(result["changes"]) == 2
    r, result = apply(write(tmp_path, doc))
    assert result["changed"] is False
    after = export()
    assert after["shares"][0]["max_users"] == 0 and after["options"]["smb-signing"] == "YES"
    assert [s["name"] for s in after["shares"]] == ["home", "Media", "public", "work"]


# Ten different mistakes, each at its own pointer.
MISTAKES = {
    "/colour": ("colour", "blue"),
    "/shares/0": ("shares", {"volume": "VOL1"}),
    "/shares/1/name": ("shares", share("n" * 81)),
    "/shares/2/volume": ("shares", share("novolume", volume="VOL9")),
    "/shares/3/comment": ("shares", share("wordy", comment="c" * 48)),
    "/shares/4/encrypt_data": ("shares", share("typed", encrypt_data="maybe")),
    "/shares/5/path": ("shares", share("relative") | {"path": "dir/sub"}),
    "/options/smb-signing": ("options", {"smb-signing": "SOMETIMES"}),
    "/invalid_users/timeout_minutes": ("invalid_users", {"timeout_minutes": 999999}),
    "/user_contexts/0": ("user_contexts", ["x" * 600]),
}


def test_every_mistake_is_reported_and_nothing_changes(tmp_path):
    doc: dict = {"schema_version": 1, "shares": [], "options": {}, "invalid_users": {}}
    for key, value in MISTAKES.values():
        if key == "shares":
            doc["shares"].append(value)
        elif isinstance(value, dict) and key in doc:
            doc[key].update(value)
        else:
            doc[key] = value
    doc["shares"].append(share("fine"))  # valid parts are not applied either
    state = tmp_path / "state.json"
    server = Sim("--state", str(state))
    try:
        deadline = time.monotonic() + 10  # the server answers before it writes its first state
        while not state.exists() and time.monotonic() < deadline:
            time.sleep(0.01)
        time.sleep(0.1)
        before = state.read_bytes()
        path = write(tmp_path, doc)
        for command in ("apply", "diff"):
            r = run("shareadm", "--json", "config", command, path)
            assert r.status == 1, r.stdout
            result = r.json()
            assert next(iter(result)) == "schema_version" and result["error"] == "rejected"
            assert {p["pointer"] for p in result["problems"]} == set(MISTAKES)
            assert "10 problems" in r.stderr
        assert state.read_bytes() == before
        # The published schema finds the shape mistakes too.
        found = {"/" + "/".join(map(str, e.absolute_path))
                 for e in jsonschema.Draft202012Validator(SCHEMA).iter_errors(doc)}
        assert {"/shares/1/name", "/shares/3/comment", "/shares/4/encrypt_data",
                "/shares/5/path"} <= found
    finally:
        server.stop()


@pytest.mark.parametrize("text, pointer", [
    ("{not json", ""),
    ('{"schema_version": 2}', "/schema_version"),
    ('{"shares": []}', ""),
    ('{"schema_version": 1, "shares": [{"name": "a", "volume": "VOL1"}, '
     '{"name": "A", "volume": "VOL1"}]}', "/shares/1/name"),
])
def test_document_level_mistakes(sim, tmp_path, text, pointer):
    path = tmp_path / "bad.json"
    path.write_text(text)
    r = run("shareadm", "--json", "config", "apply", str(path))
    assert r.status == 1
    assert [p["pointer"] for p in r.json()["problems"]] == [pointer]


def test_a_refusal_part_way_leaves_exactly_the_reported_changes(tmp_path):
    # The check cannot know how much room the server's tables have left: one user context more
    # than it holds is refused part-way, after the shares and the contexts that fit.
    server = Sim()
    try:
        before = export()
        room = 256 - len(before["user_contexts"])
        fit = [f"ou=c{i:03d},o=example" for i in range(room)]
        doc = {"schema_version": 1, "shares": [share("a"), share("b")],
               "user_contexts": before["user_contexts"] + fit + ["ou=d-over,o=example",
                                                                 "ou=e-later,o=example"]}
        r, result = apply(write(tmp_path, doc))
        assert r.status == 2, r.stderr
        assert result["error"] == "refused" and result["changed"] is True
        assert [c["target"] for c in result["changes"]] == [
            "share a", "share b"] + [f"user-context {c}" for c in fit]
        assert [c["target"] for c in result["failed"]] == ["user-context ou=d-over,o=example"]
        assert "limit-reached" in result["failed"][0]["message"]
        assert [c["target"] for c in result["not_applied"]] == ["user-context ou=e-later,o=example"]
        # The refusal carries the server's status, as every other command's does.
        assert result["failed"][0]["status_name"] == result["status_name"] == "limit-reached"
        assert result["failed"][0]["status"] == result["status"]
        jsonschema.validate(result, RESULT)
        after = export()
        assert [s["name"] for s in after["shares"]] == ["a", "b"]
        assert len(after["user_contexts"]) == 256
        # Fixed, the same document continues from there.
        doc["user_contexts"] = after["user_contexts"]
        doc["shares"].append(share("d"))
        r, result = apply(write(tmp_path, doc))
        assert r.status == 0
        assert [c["target"] for c in result["changes"]] == ["share d"]
    finally:
        server.stop()


def test_prune_removes_only_with_force_when_clients_use_the_share(sim, tmp_path):
    doc = export()
    kept = [s for s in doc["shares"] if s["name"] != "home"]
    doc["shares"] = kept
    doc["user_contexts"] = []
    path = write(tmp_path, doc)
    clients = run("shareadm", "--json", "share", "show", "home").json()["clients"]
    assert clients > 0

    r, _ = apply(path)  # without --prune nothing is removed
    assert r.status == 0 and len(export()["shares"]) == 3
    r = run("shareadm", "--json", "config", "apply", path, "--prune")
    assert r.status == 1 and "needs --force" in r.json()["problems"][0]["message"]
    # diff lists the removal and warns that it needs --force.
    r = run("shareadm", "--json", "config", "diff", path, "--prune")
    assert r.status == 4 and ("remove", "share home") in {
        (c["kind"], c["target"]) for c in r.json()["changes"]}
    assert ['"home"' in w["message"] and "--force" in w["message"]
            for w in r.json()["warnings"]] == [True]
    jsonschema.validate(r.json(), RESULT)
    assert "warning: share \"home\"" in run("shareadm", "config", "diff", path, "--prune").stderr
    assert len(export()["shares"]) == 3

    r, result = apply(path, "--prune", "--force", "--dry-run")
    assert r.status == 0 and result["dry_run"] is True and len(export()["shares"]) == 3
    r, result = apply(path, "--prune", "--force")
    assert r.status == 0, r.stderr
    assert {(c["kind"], c["target"]) for c in result["changes"]} == {
        ("remove", "share home"), ("remove", "user-context ou=staff,o=example"),
        ("remove", "user-context ou=contractors,o=example")}
    after = export()
    assert [s["name"] for s in after["shares"]] == ["projects", "public"]
    assert after["user_contexts"] == []
    # The server dropped the share from its clients, with the files they held open in it.
    files = run("shareadm", "--json", "files", "list", "--volume", "VOL2").json()
    assert not any(f["path"].startswith("VOL2:/home") for f in files["open_files"])


def test_unreachable_server(tmp_path):
    path = write(tmp_path, {"schema_version": 1})
    for args in (("export",), ("diff", path), ("apply", path)):
        assert run("shareadm", "config", *args).status == 3


def test_figures_for_a_thousand_shares(tmp_path):
    doc = {"schema_version": 1,
           "shares": [share(f"s{i:04}", comment=f"share {i}") for i in range(1000)]}
    path = write(tmp_path, doc)
    server = Sim()
    try:
        started = time.monotonic()
        r = run("shareadm", "config", "apply", path)
        applied = time.monotonic() - started
        assert r.status == 0, r.stderr
        diffs = []
        for _ in range(5):
            started = time.monotonic()
            r = run("shareadm", "config", "diff", path)
            diffs.append(time.monotonic() - started)
            assert r.status == 0, r.stdout
        print(f"\nconfig apply, 1,000 shares to an empty server: {applied:.3f} s;"
              f" config diff on 1,000 shares: {min(diffs):.3f} s (target < 0.5 s)")
        assert sanitized() or min(diffs) < 0.5
    finally:
        server.stop()


@pytest.mark.parametrize("option, wanted, exported", [
    ("virtual-server", [{"name": "FS-A", "address": "192.0.2.10"}, {"name": "FS-B"}],
     [{"name": "FS-A", "address": "192.0.2.10"}, {"name": "FS-B", "address": ""}]),
    ("dns-entry", [{"name": "files", "address": "192.0.2.20"}],
     [{"name": "files", "address": "192.0.2.20"}]),
    ("multichannel-interface", ["eth1", "eth0"], ["eth0", "eth1"]),
    ("share-volumes-by-default", {"FS1": "yes"}, {"FS1": "YES"}),
    ("dfs-referral-cache-duration", 90, 90),
])
def test_list_and_map_options_converge(sim, tmp_path, option, wanted, exported):
    path = write(tmp_path, {"schema_version": 1, "options": {option: wanted}})
    r, result = apply(path)
    assert r.status == 0 and result["changed"] is True, r.stderr
    assert export()["options"][option] == exported
    r, result = apply(path)
    assert result["changed"] is False, result["changes"]


def test_set_option_entries_change_and_prune(sim, tmp_path):
    doc = {"schema_version": 1, "options": {"virtual-server": [
        {"name": "FS-A", "address": "192.0.2.10"}, {"name": "FS-B"}]}}
    apply(write(tmp_path, doc))
    doc["options"]["virtual-server"] = [{"name": "fs-a", "address": "192.0.2.11"}]
    r = run("shareadm", "--json", "config", "diff", write(tmp_path, doc), "--prune")
    assert [(c["kind"], c["field"]) for c in r.json()["changes"]] == [
        ("change", "fs-a"), ("remove", "FS-B")]
    r, result = apply(write(tmp_path, doc), "--prune")
    assert r.status == 0, r.stderr
    assert export()["options"]["virtual-server"] == [{"name": "fs-a", "address": "192.0.2.11"}]


def test_invalid_users_temporary_made_permanent_and_pruned(sim, tmp_path):
    doc = {"schema_version": 1, "invalid_users": {"timeout_minutes": 45,
                                                  "permanent": ["olduser", "intruder"]}}
    r = run("shareadm", "--json", "config", "diff", write(tmp_path, doc), "--prune")
    assert [(c["kind"], c["target"], c["field"]) for c in r.json()["changes"]] == [
        ("add", "invalid-user intruder", None),
        ("change", "invalid-users", "timeout_minutes"),
        ("change", "invalid-user olduser", "permanent"),
        ("remove", "invalid-user guest", None)]
    r, _ = apply(write(tmp_path, doc), "--prune")
    assert r.status == 0, r.stderr
    assert export()["invalid_users"] == {"timeout_minutes": 45,
                                         "permanent": ["intruder", "olduser"]}
    cache = run("shareadm", "--json", "invalid-users", "cache").json()
    assert "tempuser" in {u["name"] for u in cache["users"]}  # temporary entries are left alone
