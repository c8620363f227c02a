# SPDX-License-Identifier: Apache-2.0
"""Every JSON document of both tools checked against the published schema: each command that
prints one, run against a stand-in server, validated against the definition it must meet."""

from __future__ import annotations

import json
from collections.abc import Iterator
from typing import Any

import jsonschema
import pytest

from conftest import SOURCE_DIR, Sim, run, server_reachable

SCHEMA_DIR = SOURCE_DIR / "schema"
FILES = ("common.schema.json", "shareadm.schema.json", "sharemon.schema.json")


def _schemas() -> dict[str, Any]:
    return {name: json.loads((SCHEMA_DIR / name).read_text()) for name in FILES}


def validator(tool: str, definition: str = "") -> Any:
    """A validator of one definition of a tool's schema (or of the whole), references local."""
    schemas = _schemas()
    root = schemas[f"{tool}.schema.json"]
    target = {"$ref": root["$id"] + (f"#/$defs/{definition}" if definition else "")}
    try:
        from referencing import Registry, Resource  # jsonschema >= 4.18

        registry = Registry().with_resources(
            (s["$id"], Resource.from_contents(s)) for s in schemas.values())
        return jsonschema.Draft202012Validator(target, registry=registry)
    except ImportError:
        store = {s["$id"]: s for s in schemas.values()}
        resolver = jsonschema.RefResolver(root["$id"], root, store=store)
        return jsonschema.Draft202012Validator(target, resolver=resolver)


def check(tool: str, definition: str, doc: Any) -> None:
    assert isinstance(doc, dict) and next(iter(doc)) == "schema_version", doc
    errors = sorted(validator(tool, definition).iter_errors(doc), key=lambda e: list(e.path))
    assert not errors, "\n".join(f"{list(e.path)}: {e.message}" for e in errors[:5])
    # What a consumer that does not know the command checks: the tool's whole schema.
    assert validator(tool).is_valid(doc)


def check_error(tool: str, r: Any) -> None:
    check(tool, "error", r.json())


# (tool, arguments, definition, exit status). In order: later rows rely on earlier changes.
ROWS = [
    ("shareadm", ["share", "list"], "share_list", 0),
    ("shareadm", ["share", "list", "--type", "volume", "--sort", "-name"], "share_list", 0),
    ("shareadm", ["share", "names"], "share_names", 0),
    ("shareadm", ["share", "show", "public"], "share", 0),
    ("shareadm", ["share", "add", "docs", "VOL2:/docs", "--comment", "Docs"], "confirmation", 0),
    ("shareadm", ["share", "modify", "docs", "--max-users", "3"], "confirmation", 0),
    ("shareadm", ["share", "mfa", "docs", "yes"], "confirmation", 0),
    ("shareadm", ["share", "remove", "docs"], "confirmation", 0),
    ("shareadm", ["connections", "count"], "connection_count", 0),
    ("shareadm", ["connections", "list"], "connection_list", 0),
    ("shareadm", ["connections", "list", "--with-files", "--idle-over", "60"],
     "connection_list", 0),
    ("shareadm", ["connections", "list", "--null-sessions"], "connection_list", 0),
    ("shareadm", ["connections", "show", "3"], "connection", 0),
    ("shareadm", ["connections", "shares", "3"], "share_list", 0),
    ("shareadm", ["files", "list", "--volume", "VOL1"], "open_file_list", 0),
    ("shareadm", ["files", "list", "--connection", "2", "--access", "read"], "open_file_list", 0),
    ("shareadm", ["files", "holders", "--volume", "VOL1"], "connection_list", 0),
    ("shareadm", ["invalid-users", "list"], "invalid_user_list", 0),
    ("shareadm", ["invalid-users", "cache"], "invalid_user_list", 0),
    ("shareadm", ["invalid-users", "add", "mallory"], "confirmation", 0),
    ("shareadm", ["invalid-users", "timeout", "45"], "confirmation", 0),
    ("shareadm", ["user-contexts", "list"], "user_context_list", 0),
    ("shareadm", ["user-contexts", "add", "ou=finance,o=example"], "confirmation", 0),
    ("shareadm", ["option", "smb-signing", "force"], "confirmation", 0),
    ("shareadm", ["option", "multichannel-interface", "add", "eth0"], "confirmation", 0),
    ("shareadm", ["option", "multichannel-interface", "list"], "interface_list", 0),
    ("shareadm", ["option", "show"], "options", 0),
    ("shareadm", ["option", "status"], "server_status", 0),
    ("shareadm", ["files", "close", "--connection", "2"], "confirmation", 0),
    ("shareadm", ["clear-connections", "--type", "all", "--idle", "20", "--count", "1"],
     "confirmation", 0),
    ("shareadm", ["share", "show", "nope"], "error", 2),
    ("shareadm", ["share", "add", "x", "VOL1:/x", "--comment", "c" * 48], "error", 1),
    ("shareadm", ["connections", "list", "--sort", "bogus"], "error", 1),
    ("shareadm", ["share", "frobnicate"], "error", 1),
    ("sharemon", ["connections"], "connection_list", 0),
    ("sharemon", ["connections", "--user", "mike", "--sort", "-bytes_read"],
     "connection_list", 0),
    ("sharemon", ["connection", "4"], "connection", 0),
    ("sharemon", ["volumes"], "volume_list", 0),
    ("sharemon", ["files", "VOL1"], "open_file_list", 0),
    ("sharemon", ["files", "VOL1", "--path-prefix", "VOL1:/public"], "open_file_list", 0),
    ("sharemon", ["close-connection", "4"], "confirmation", 0),
    ("sharemon", ["connection", "999"], "error", 2),
    ("sharemon", ["connection", "65536"], "error", 1),
    ("sharemon", ["files", "VOL1", "--access", "read"], "error", 1),
]

UNREACHABLE = [("shareadm", ["share", "list"]), ("sharemon", ["connections"]),
               ("shareadm", ["option", "smb-signing", "bogus"])]


@pytest.mark.parametrize("tool,args", UNREACHABLE)
def test_error_without_server_meets_schema(tool: str, args: list[str]) -> None:
    assert not server_reachable()
    r = run(tool, "--json", *args)
    check_error(tool, r)
    assert r.json()["exit_status"] == r.status


@pytest.fixture(scope="module")
def server() -> Iterator[Sim]:
    s = Sim("--clients", "12", "--seed", "7")
    yield s
    s.stop()


@pytest.mark.parametrize("tool,args,definition,status", ROWS,
                         ids=[" ".join([r[0], *r[1]])[:60] for r in ROWS])
def test_document_meets_schema(server: Sim, tool: str, args: list[str], definition: str,
                               status: int) -> None:
    r = run(tool, "--json", *args)
    assert r.status == status, r.stderr
    if definition == "error":
        check_error(tool, r)
    else:
        check(tool, definition, r.json())


# A renamed or retyped key is caught: the schema is no wider than the documents.
MUTATIONS = [
    ("shareadm", "share_list", lambda d: d["shares"][0].update(mfa="no")),
    ("shareadm", "share_list", lambda d: d["shares"][0].update(volume_name=d["shares"][0].pop("volume"))),
    ("shareadm", "connection_list", lambda d: d["connections"][0].update(open_files=[])),
    ("shareadm", "connection_list", lambda d: d["connections"][0].update(login_time_rfc3339="yesterday")),
    ("shareadm", "connection_list", lambda d: d.update(schema_version=2)),
    ("sharemon", "connection", lambda d: d.update(files=["VOL1:/a"])),
    ("sharemon", "connection_list", lambda d: d["connections"][0].update(id="3")),
]
SOURCES = {("shareadm", "share_list"): ["share", "list"],
           ("shareadm", "connection_list"): ["connections", "list"],
           ("sharemon", "connection"): ["connection", "3"],
           ("sharemon", "connection_list"): ["connections"]}


@pytest.mark.parametrize("tool,definition,mutate", MUTATIONS)
def test_schema_rejects_a_changed_key(server: Sim, tool: str, definition: str,
                                      mutate: Any) -> None:
    doc = run(tool, "--json", *SOURCES[(tool, definition)]).json()
    check(tool, definition, doc)
    mutate(doc)
    assert list(validator(tool, definition).iter_errors(doc))


def test_schemas_are_valid_draft_2020_12() -> None:
    for schema in _schemas().values():
        jsonschema.Draft202012Validator.check_schema(schema)


# The error document of each kind, as both tools print it (with --watch: with a timestamp).
ERRORS = [
    {"error": "usage", "action": "connections list", "message": "--sort: unknown field",
     "exit_status": 1},
    {"error": "rejected", "action": "share add", "message": "rejected: x", "exit_status": 1,
     "argument": "--comment", "value": "c", "accepted": "up to 47 characters"},
    {"error": "refused", "action": "share show", "message": "refused", "exit_status": 2,
     "status": 4, "status_name": "no-such-share"},
    {"error": "unreachable", "action": "connections", "message": "no server", "exit_status": 3,
     "timestamp": "2026-12-08T22:50:00Z"},
    {"error": "timeout", "action": "share list", "message": "no answer", "exit_status": 3,
     "timeout_seconds": 90},
    {"error": "unexpected-server", "action": "server", "message": "held", "exit_status": 3,
     "uid": 65534, "pid": 42, "accepted_uids": "0"},
]


@pytest.mark.parametrize("doc", ERRORS, ids=[e["error"] for e in ERRORS])
def test_error_kinds_meet_schema(doc: dict[str, Any]) -> None:
    for tool in ("shareadm", "sharemon"):
        check(tool, "error", {"schema_version": 1, **doc})
        assert not validator(tool, "error").is_valid({"schema_version": 1, **doc, "code": 1})
