# SPDX-License-Identifier: Apache-2.0
"""How the tools shape their results: tables aligned on screen columns, CSV/TSV from the same
rows as JSON, filters and --sort applied to listings, and the same key with the same type in
both tools."""

from __future__ import annotations

import csv
import io
import unicodedata
from collections.abc import Callable
from typing import Any

import pytest

from conftest import Sim, run

Row = dict[str, Any]


def width(text: str) -> int:
    return sum(0 if unicodedata.combining(c) else
               2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def cell_columns(line: str) -> list[int]:
    """Screen columns where each cell of a table line starts (cells part at 2+ spaces)."""
    starts, at = [0], 0
    while (gap := line.find("  ", at)) >= 0:
        at = gap
        while at < len(line) and line[at] == " ":
            at += 1
        starts.append(width(line[:at]))
    return starts


@pytest.fixture(scope="module")
def server() -> Any:
    s = Sim("--clients", "12", "--seed", "7")
    # Names a table must align: wide, combining and plain characters.
    for name, path in (("資料", "VOL1:/資料"), ("cafe\u0301", "VOL1:/cafe"), ("plain", "VOL2:/p")):
        r = run("shareadm", "share", "add", name, path, "--comment", "x")
        assert r.status == 0, r.stderr
    yield s
    s.stop()


def rows(tool: str, key: str, *args: str) -> list[Row]:
    r = run(tool, "--json", *args)
    assert r.status == 0, r.stderr
    return r.json()[key]


@pytest.mark.parametrize("tool,args", [
    ("shareadm", ["share", "list"]),
    ("shareadm", ["share", "names"]),
    ("sharemon", ["volumes"]),
])
def test_table_columns_align_on_screen(server: Any, tool: str, args: list[str]) -> None:
    lines = run(tool, *args).stdout.splitlines()
    header = cell_columns(lines[0])
    wide = [line for line in lines if any(width(c) != 1 for c in line)]
    assert wide, "the listing shows the wide names"
    for line in lines[1:]:
        starts = cell_columns(line)
        assert starts == header[:len(starts)], line


# listing (tool, args, document key); both machine formats carry the JSON rows' values.
LISTINGS = [
    ("shareadm", ["share", "list"], "shares"),
    ("shareadm", ["connections", "list"], "connections"),
    ("shareadm", ["files", "list", "--volume", "VOL1"], "open_files"),
    ("shareadm", ["invalid-users", "list"], "users"),
    ("sharemon", ["connections"], "connections"),
    ("sharemon", ["files", "VOL2"], "open_files"),
]


def as_text(value: Any) -> str:
    return {True: "true", False: "false", None: ""}.get(value, value) \
        if isinstance(value, (bool, type(None))) else str(value)


@pytest.mark.parametrize("fmt", ["csv", "tsv"])
@pytest.mark.parametrize("tool,args,key", LISTINGS)
def test_csv_and_tsv_carry_the_json_rows(server: Any, tool: str, args: list[str], key: str,
                                         fmt: str) -> None:
    def both() -> tuple:
        expected = rows(tool, key, *args)
        out = run(tool, *args, "--format", fmt)
        assert out.status == 0, out.stderr
        if fmt == "csv":
            got = list(csv.DictReader(io.StringIO(out.stdout, newline="")))
        else:
            lines = out.stdout.splitlines()
            head = lines[0].split("\t")
            got = [dict(zip(head, line.split("\t"))) for line in lines[1:]]
        return got, [{k: as_text(e[k]) for k in g} for g, e in zip(got, expected)], expected

    # Idle times are read at two moments: a second may tick over in between, not twice in a row.
    got, texts, expected = both()
    if got != texts:
        got, texts, expected = both()
    assert len(got) == len(expected)
    assert got == texts
    bare = run(tool, "--format", fmt, "--no-headers", *args).stdout
    assert len(bare.splitlines()) == len(expected)


def test_csv_quotes_and_tsv_escapes(server: Any) -> None:
    assert run("shareadm", "share", "add", "odd", "VOL2:/odd", "--comment",
               'say "hi", a\\b').status == 0
    c = run("shareadm", "--format", "csv", "share", "show", "odd").stdout
    assert ',"say ""hi"", a\\b",' in c
    t = run("shareadm", "--format", "tsv", "share", "show", "odd").stdout
    head, row = t.splitlines()
    assert len(head.split("\t")) == len(row.split("\t"))
    assert 'say "hi", a\\\\b' in row.split("\t")


def short(user: str) -> str:
    return user.split(",")[0].split("=")[-1]


# (tool, args, key, filter arguments, what the kept rows are, sort key or None)
FILTERS: list[tuple[str, list[str], str, list[str], Callable[[Row], bool], str | None]] = [
    ("shareadm", ["connections", "list"], "connections", ["--user", "mike"],
     lambda r: short(r["user"]) == "mike", None),
    ("shareadm", ["connections", "list"], "connections",
     ["--user", "cn=heidi,ou=staff,o=example"], lambda r: r["user"] == "cn=heidi,ou=staff,o=example",
     None),
    ("shareadm", ["connections", "list"], "connections", ["--idle-over", "600", "--sort", "-idle_seconds"],
     lambda r: r["idle_seconds"] > 600, "-idle_seconds"),
    ("shareadm", ["connections", "list"], "connections", ["--dialect", "smb 2.1"],
     lambda r: r["dialect"] == "SMB 2.1", None),
    ("shareadm", ["connections", "list"], "connections", ["--workstation", "WS-1003"],
     lambda r: r["workstation"] == "WS-1003", None),
    ("shareadm", ["connections", "list"], "connections", ["--address", "192.0.2.48"],
     lambda r: r["address"] == "192.0.2.48", None),
    ("shareadm", ["files", "list", "--volume", "VOL1"], "open_files",
     ["--access", "read", "--sort", "path"], lambda r: r["access"] == "read", "path"),
    ("shareadm", ["files", "list", "--volume", "VOL1"], "open_files",
     ["--path-prefix", "vol1:/public/m"], lambda r: r["path"].startswith("VOL1:/public/m"), None),
    ("shareadm", ["share", "list"], "shares", ["--type", "directory", "--volume", "VOL2"],
     lambda r: r["type_name"] == "directory" and r["volume"] == "VOL2", None),
    ("shareadm", ["share", "list"], "shares", ["--sort", "-name"], lambda r: True, "-name"),
    ("sharemon", ["connections"], "connections", ["--user", "rupert", "--sort", "bytes_read"],
     lambda r: short(r["user"]) == "rupert", "bytes_read"),
    ("sharemon", ["files", "VOL2"], "open_files", ["--user", "nina"],
     lambda r: short(r["user"]) == "nina", None),
]


@pytest.mark.parametrize("tool,args,key,extra,keep,sort", FILTERS,
                         ids=[" ".join(f[3]) for f in FILTERS])
def test_filters_and_sort(server: Any, tool: str, args: list[str], key: str, extra: list[str],
                          keep: Callable[[Row], bool], sort: str | None) -> None:
    def both() -> tuple:
        everything = rows(tool, key, *args)
        expected = [r for r in everything if keep(r)]
        if sort:
            field = sort.lstrip("-")
            expected.sort(key=lambda r: r[field], reverse=sort.startswith("-"))
        return everything, expected, rows(tool, key, *args, *extra)

    # Idle times are read at two moments: a second may tick over in between, not twice in a row.
    everything, expected, got = both()
    if got != expected:
        everything, expected, got = both()
    assert got == expected
    assert 0 < len(got) < len(everything) or sort


# Rejected while parsing: exit 1, the option, the value and what is accepted named.
BAD = [
    ("shareadm", ["connections", "list", "--sort", "bogus"], ["--sort", "bogus", "idle_seconds"]),
    ("shareadm", ["files", "list", "--volume", "VOL1", "--access", "execute"],
     ["--access", "execute", "read+write"]),
    ("shareadm", ["connections", "list", "--idle-over", "soon"], ["--idle-over", "soon"]),
    ("shareadm", ["share", "list", "--type", "folder"], ["--type", "folder", "directory"]),
    ("sharemon", ["connections", "--sort", "-dialect"], ["--sort", "-dialect", "bytes_read"]),
    ("sharemon", ["--format", "xml", "volumes"], ["--format", "xml", "csv"]),
]


@pytest.mark.parametrize("tool,args,named", BAD, ids=[" ".join(b[1]) for b in BAD])
def test_bad_filter_or_sort_is_rejected(server: Any, tool: str, args: list[str],
                                        named: list[str]) -> None:
    r = run(tool, *args)
    assert r.status == 1
    for word in named:
        assert word in r.stderr, r.stderr


@pytest.mark.parametrize("tool,before,after", [
    ("shareadm", ["--format", "csv", "connections", "list"],
     ["connections", "list", "--format", "csv"]),
    ("sharemon", ["--no-headers", "--format", "tsv", "volumes"],
     ["volumes", "--format", "tsv", "--no-headers"]),
    ("shareadm", ["--json", "share", "show", "public"], ["share", "show", "public", "--json"]),
])
def test_global_options_before_or_after_the_subcommand(server: Any, tool: str,
                                                       before: list[str],
                                                       after: list[str]) -> None:
    a, b = run(tool, *before), run(tool, *after)
    if a.stdout != b.stdout:  # an idle time may tick over between the two runs, not twice
        a, b = run(tool, *before), run(tool, *after)
    assert a.status == b.status == 0
    assert a.stdout == b.stdout


def test_both_tools_give_a_key_the_same_type(server: Any) -> None:
    adm = run("shareadm", "--json", "connections", "show", "3").json()
    mon = run("sharemon", "--json", "connection", "3").json()
    for key in ("id", "user", "address", "workstation", "dialect", "auth", "login_time",
                "login_time_rfc3339", "open_files", "security_equivalences"):
        assert adm[key] == mon[key], key
    assert [f["path"] for f in adm["files"]] == [f["path"] for f in mon["files"]]
    def both() -> tuple:
        listed = {c["id"]: c for c in rows("shareadm", "connections", "connections", "list")}
        mon = rows("sharemon", "connections", "connections")
        return [{k: listed[c["id"]][k] for k in c} for c in mon], mon

    ours, theirs = both()
    if ours != theirs:  # an idle time may tick over between the two reads, not twice
        ours, theirs = both()
    assert ours == theirs


def test_a_listed_share_is_the_shown_share(server: Any) -> None:
    for share in rows("shareadm", "shares", "share", "list"):
        shown = run("shareadm", "--json", "share", "show", share["name"]).json()
        del shown["schema_version"]
        assert share == shown
    mapped = rows("shareadm", "shares", "connections", "shares", "3")
    assert mapped and all(isinstance(s["open_files"], int) and "mfa" in s for s in mapped)
