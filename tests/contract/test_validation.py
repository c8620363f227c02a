# SPDX-License-Identifier: Apache-2.0
"""What the tools accept, how they say no, and what they report after a change."""

from __future__ import annotations

import json

import pytest

from conftest import run

# (tool, args, argument, value, accepted fragment): refused by the tool's own rules, exit 1,
# nothing sent.
INVALID = [
    ("shareadm", ["share", "add", "r11", "VOL1:/x", "--max-users", "abc"], "--max-users", "abc",
     "a number from 0 to 65535"),
    ("shareadm", ["share", "add", "r11", "VOL1:/x", "--max-users", "99999999999"], "--max-users",
     "99999999999", "a number from 0 to 65535"),
    ("shareadm", ["share", "modify", "public", "--max-users", "-2"], "--max-users", "-2",
     "a number from -1 to 65535"),
    ("shareadm", ["share", "add", "", "VOL1:/x"], "NAME", "", "a text of 1 to 80 bytes"),
    ("shareadm", ["share", "add", "..", "VOL1:/x"], "NAME", "..", "not only periods"),
    ("shareadm", ["share", "add", "n" * 81, "VOL1:/x"], "NAME", "n" * 81, "1 to 80 bytes"),
    # 27 two-byte letters: 27 characters, 54 bytes.
    ("shareadm", ["share", "add", "r1", "VOL1:/x", "--comment", "é" * 27], "--comment", "é" * 27,
     "at most 47 bytes"),
    ("shareadm", ["share", "add", "r8", ""], "LOCATION", "", "VOLUME:PATH"),
    ("shareadm", ["share", "add", "r8", "/no/volume"], "LOCATION", "/no/volume", "VOLUME:PATH"),
    ("shareadm", ["share", "add", "r8", "VOL1:/x", "--encrypt-data", "maybe"], "--encrypt-data",
     "maybe", "one of YES, NO (any letter case)"),
    ("shareadm", ["share", "encryption", "public", "maybe"], "VALUE", "maybe", "one of YES, NO"),
    ("shareadm", ["share", "modify", "public", "--new-name", ""], "--new-name", "", "1 to 80"),
    ("shareadm", ["share", "show", ""], "NAME", "", "1 to 80 bytes"),
    ("shareadm", ["option", "dialect", "smb2"], "VALUE", "smb2",
     "one of SMB, SMB2, SMB3 (exact letter case)"),
    ("shareadm", ["option", "smb-signing", "maybe"], "VALUE", "maybe",
     "one of YES, NO, OPTIONAL, FORCE (any letter case)"),
    ("shareadm", ["option", "read-proxy", "NO"], "VALUE", "NO", "one of READPROXY"),
    ("shareadm", ["option", "lm-compatibility", "3"], "VALUE", "3", "one of 0, 4, 5"),
    ("shareadm", ["option", "oplock-break-ack-timeout", "12x"], "VALUE", "12x",
     "a number from 5 to 30"),
    ("shareadm", ["option", "offline-files", ""], "VALUE", "", "a number from 0 to 3"),
    ("shareadm", ["option", "dns-suffix", "d" * 256], "VALUE", "d" * 256, "at most 255 bytes"),
    ("shareadm", ["option", "cache", "sdircache=5"], "SETTING", "sdircache=5",
     "(exact letter case)"),
    ("shareadm", ["option", "cache", "SDIRCACHE=0"], "SETTING", "SDIRCACHE=0", "from 1 to"),
    ("shareadm", ["option", "dump-statistics", "TT"], "WHAT", "TT", "one of DC, FP, FH, T"),
    ("shareadm", ["option", "dns-entry", "add", "NB1", "--ip", "10.1.2.x"], "--ip", "10.1.2.x",
     "an IPv4 address"),
    ("shareadm", ["option", "dns-entry", "add", "N" * 16], "NAME", "N" * 16, "1 to 15 bytes"),
    ("shareadm", ["option", "user-quota-sync", "T", "--value", "0"], "--value", "0",
     "a number from 1 to"),
    ("shareadm", ["option", "dfs-referral-cache-duration", "525601"], "VALUE", "525601",
     "from 0 to 525600, or CLEAR"),
    ("shareadm", ["option", "dfs-referral-cache-duration", "CLEAR", "--path", "VOL1:dir"],
     "--path", "VOL1:dir", "VOLUME:/junction/path"),
    ("shareadm", ["option", "dfs-referral-cache-duration", "CLEAR"], "--path", "",
     "required with CLEAR"),
    ("shareadm", ["option", "multichannel-interface", "add"], "INTERFACE", "", "1 to 15 bytes"),
    ("shareadm", ["clear-connections", "--type", "SOME", "--idle", "20", "--count", "1"], "--type",
     "SOME", "one of ALL, NULL"),
    ("shareadm", ["clear-connections", "--type", "ALL", "--idle", "14", "--count", "1"], "--idle",
     "14", "from 15 to 65535"),
    ("shareadm", ["clear-connections", "--type", "ALL", "--idle", "20", "--count", "0"],
     "--count", "0", "from 1 to 65535, or ALL"),
    ("shareadm", ["files", "close", "--connection", "65536"], "--connection", "65536",
     "from 0 to 65535"),
    ("shareadm", ["connections", "show", "4x"], "ID", "4x", "from 0 to 65535"),
    ("shareadm", ["files", "list", "--connection", "2", "--max", "abc"], "--max", "abc",
     "a number from 0 to 4294967295"),
    ("shareadm", ["invalid-users", "list", "--first", "-1"], "--first", "-1", "from 0 to"),
    ("shareadm", ["invalid-users", "timeout", "525601"], "MINUTES", "525601", "0 to 525600"),
    ("shareadm", ["invalid-users", "add", "u" * 257], "USER", "u" * 257, "1 to 256 bytes"),
    ("shareadm", ["user-contexts", "add", ".."], "CONTEXT", "..", "not only periods"),
    ("sharemon", ["close-connection", "-1"], "ID", "-1", "from 0 to 65535"),
    ("sharemon", ["close-volume", ""], "VOLUME", "", "non-empty"),
    ("sharemon", ["close-file", "nocolon"], "PATH", "nocolon", "VOLUME:PATH"),
]


@pytest.mark.parametrize("tool,args,argument,value,accepted", INVALID,
                         ids=[" ".join(r[1])[:60] for r in INVALID])
def test_a_refused_value_is_named_with_what_is_accepted(sim, tool, args, argument, value,
                                                        accepted):
    before = run("shareadm", "--json", "option", "show").json()
    r = run(tool, *args)
    assert r.status == 1, r.stderr
    assert r.stdout == ""
    action = r.stderr.split(": ")[1]
    assert r.stderr.startswith(f"{tool}: {action}: {argument}: \"")
    assert accepted in r.stderr
    doc = run(tool, "--json", *args).json()
    assert doc["error"] == "rejected" and doc["exit_status"] == 1
    assert (doc["argument"], doc["value"]) == (argument, value)
    assert accepted in doc["accepted"]
    # Nothing was sent: no share appeared, no option changed.
    assert "r11" not in run("shareadm", "share", "names").stdout
    assert run("shareadm", "--json", "option", "show").json() == before


# Accepted spellings: the library's case rules, and values at the edges of their ranges.
ACCEPTED = [
    ["option", "smb-signing", "force"],
    ["option", "log-level", "Debug"],
    ["option", "dialect", "SMB2"],
    ["option", "preferred-cipher", "aes-256-gcm"],
    ["option", "oplock-break-ack-timeout", "30"],
    ["option", "dfs-referral-cache-duration", "clear", "--path", "all"],
    ["option", "user-quota-view", "t" * 64],
    ["share", "add", "n" * 80, "VOL1:/x", "--comment", "é" * 23, "--max-users", "65535"],
    ["clear-connections", "--type", "null", "--idle", "65535", "--count", "all"],
]


@pytest.mark.parametrize("args", ACCEPTED, ids=[" ".join(a)[:60] for a in ACCEPTED])
def test_values_within_the_rules_are_accepted(sim, args):
    r = run("shareadm", *args)
    assert r.status == 0, r.stderr


# (args, status, stderr fragment): refused by the server, with the argument it concerns.
REFUSED = [
    (["share", "add", "bad/name", "VOL1:/x"], 2,
     "status 6 (invalid-value: the value is not accepted for this setting): "
     "the share name \"bad/name\" is not accepted"),
    (["share", "add", "r8", "VOL1:/a/../b"], 2, "the location \"VOL1:/a/../b\" is not accepted"),
    (["share", "add", "r8", "NOVOL:/x"], 2, "the location \"NOVOL:/x\" names no volume"),
    (["share", "add", "public", "VOL1:/x"], 2, "the share name \"public\" is already in use"),
    (["share", "remove", "nosuch"], 2, "the share name \"nosuch\" names no share"),
    (["share", "modify", "public", "--path", "VOL1:rel"], 2,
     "the location \"VOL1:rel\" is not accepted"),
    (["connections", "show", "99"], 2, "the connection ID \"99\" names no client connection"),
    (["files", "close", "--path", "VOL1:/no/such/file"], 2,
     "the path \"VOL1:/no/such/file\" is not an open file"),
    (["files", "close", "--volume", "NOVOL"], 2, "the volume \"NOVOL\" names no volume"),
    (["invalid-users", "remove", "nobody"], 2,
     "the user \"nobody\" is not in the invalid-user cache"),
    (["option", "virtual-server", "remove", "nope"], 2, "the name \"nope\" names no entry"),
]


@pytest.mark.parametrize("args,status,fragment", REFUSED, ids=[" ".join(r[0]) for r in REFUSED])
def test_a_refusal_names_the_argument(sim, args, status, fragment):
    r = run("shareadm", *args)
    assert r.status == status, r.stderr
    assert fragment in r.stderr


def test_a_refusal_in_json_carries_the_argument(sim):
    doc = run("shareadm", "--json", "share", "add", "bad/name", "VOL1:/x").json()
    assert doc["error"] == "refused" and doc["status"] == 6
    assert (doc["argument"], doc["value"]) == ("NAME", "bad/name")


def test_share_confirmations_print_what_the_server_stored(sim):
    r = run("shareadm", "share", "add", "r9", "VOL1:/a//b/", "--max-users", "5")
    assert r.status == 0, r.stderr
    assert "VOL1:/a/b" in r.stdout and "VOL1:/a//b/" not in r.stdout
    doc = run("shareadm", "--json", "share", "modify", "r9", "--max-users", "0").json()
    assert doc["stored"]["max_users"] == 0 and doc["stored"]["full_path"] == "VOL1:/a/b"
    doc = run("shareadm", "--json", "share", "encryption", "r9", "yes").json()
    assert doc["value"] == "YES" and doc["stored"]["encrypt_data"] is True


CLOSERS = [
    ("shareadm", ["files", "close", "--connection", "4"]),
    ("shareadm", ["files", "close", "--volume", "VOL2"]),
    ("sharemon", ["close-connection", "4"]),
    ("sharemon", ["close-volume", "VOL2"]),
]


def listed(doc):
    """The rows of a listing, bare or wrapped in an object."""
    if isinstance(doc, dict):
        return next(v for v in doc.values() if isinstance(v, list))
    return doc


def open_files() -> set:
    files = set()
    for volume in ("VOL1", "VOL2"):
        for f in run("sharemon", "--json", "files", volume).json()["open_files"]:
            files.add((f["connection"], f["path"]))
    return files


@pytest.mark.parametrize("tool,args", CLOSERS, ids=[" ".join(a) for _, a in CLOSERS])
def test_closing_reports_how_many_and_then_nothing(sim, tool, args):
    before = open_files()
    dry = run(tool, "--json", *args, "--dry-run").json()
    assert dry["dry_run"] is True and dry["would_close"] > 0
    assert open_files() == before, "a dry run closes nothing"
    done = run(tool, "--json", *args).json()
    assert done["closed"] == dry["would_close"] == len(done["files"])
    assert {(f["connection"], f["path"]) for f in done["files"]} == before - open_files()
    again = run(tool, *args)
    assert again.status == 0 and "Nothing to close" in again.stdout
    assert run(tool, "--json", *args).json()["closed"] == 0


def test_close_by_path_counts_the_file_however_written(sim):
    r = run("sharemon", "--json", "close-file", "VOL1://public/heidi//minutes.docx")
    assert r.status == 0, r.stderr
    assert r.json()["closed"] == 1


def test_clear_connections_counts_what_went(sim):
    args = ["clear-connections", "--type", "ALL", "--idle", "20", "--count", "ALL"]
    count = run("shareadm", "--json", "connections", "count").json()["count"]
    dry = run("shareadm", "--json", *args, "--dry-run").json()
    assert run("shareadm", "--json", "connections", "count").json()["count"] == count
    done = run("shareadm", "--json", *args).json()
    assert done["cleared"] == dry["would_clear"] == count - done["remaining"]
    assert run("shareadm", *args).stdout.startswith("Nothing to clear")


def test_option_show_can_be_fed_back_to_the_setters(sim):
    setters = json.loads(run("shareadm", "--json", "option", "show").stdout)["options"]
    lines = run("shareadm", "option", "show").stdout.splitlines()
    fed = 0
    for line in lines:
        name, _, value = line.partition(":")
        value = value.strip()
        if name not in setters:
            continue
        r = run("shareadm", "option", name, value)
        if value.startswith("off (the setter takes"):
            # Read proxy off: no setter word turns it off; the setter says what it takes.
            assert r.status == 1 and "one of READPROXY" in r.stderr
            continue
        assert r.status == 0, f"{line!r}: {r.stderr}"
        fed += 1
    assert fed == len(setters) - 1
    assert run("shareadm", "--json", "option", "show").json()["options"] == setters


def test_an_empty_dns_suffix_clears_it(sim):
    assert run("shareadm", "option", "dns-suffix", "example.com").status == 0
    r = run("shareadm", "option", "dns-suffix", "")
    assert (r.status, r.stdout) == (0, "dns-suffix cleared.\n")
    assert run("shareadm", "--json", "option", "show").json()["options"]["dns-suffix"] == ""
