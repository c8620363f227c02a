# SPDX-License-Identifier: Apache-2.0
"""The fleet listing's own logic, without a fleet: which hosts an inventory selects, whose files
a user name selects, that a remote command arrives as written, that a failing host is reported,
and the recap parsing the fleet scripts count changed hosts with."""

import importlib.machinery
import pathlib
import shlex
import subprocess
import types

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def load_sessions():
    loader = importlib.machinery.SourceFileLoader("fleet_sessions",
                                                  str(ROOT / "scripts" / "fleet-sessions"))
    module = types.ModuleType("fleet_sessions")
    loader.exec_module(module)
    return module


fs = load_sessions()

LISTING = {
    "_meta": {"hostvars": {"h01": {}, "h02": {}, "h03": {}, "lone": {}}},
    "all": {"children": ["ungrouped", "fileservers"]},
    "ungrouped": {"hosts": ["lone"]},
    "fileservers": {"children": ["office", "build"]},
    "office": {"hosts": ["h01", "h02"]},
    # A cycle: a group listed as its own descendant must not loop.
    "build": {"hosts": ["h03"], "children": ["fileservers"]},
}


@pytest.mark.parametrize("limit,hosts", [
    ("all", {"h01", "h02", "h03", "lone"}),
    ("fileservers", {"h01", "h02", "h03"}),
    ("office", {"h01", "h02"}),
    ("build", {"h01", "h02", "h03"}),
    ("h03", {"h03"}),
    ("nosuch", set()),
])
def test_inventory_selection(limit, hosts):
    assert fs.walk(LISTING, limit) == hosts


@pytest.mark.parametrize("record,user,match", [
    ("cn=alice,ou=staff,o=example", "alice", True),
    ("cn=alice,ou=staff,o=example", "ALICE", True),
    ("cn=alice,ou=staff,o=example", "cn=alice,ou=staff,o=example", True),
    ("cn=alicia,ou=staff,o=example", "alice", False),
    ("cn=bob,ou=alice,o=example", "alice", False),
    ("cn=alice,ou=staff,o=example", "ali", False),
    ("", "alice", False),
    (None, "alice", False),
])
def test_user_selection(record, user, match):
    assert fs.user_matches(record, user) is match


def test_remote_command_arrives_as_written():
    remote = ["shareadm", "--json", "share", "add", "a b", "VOL1:/it's $HOME; rm -rf /"]
    v = {"ansible_host": "10.77.0.11", "ansible_user": "root",
         "ansible_ssh_private_key_file": "/k/id", "ansible_port": 2222,
         "ansible_ssh_common_args": "-o 'UserKnownHostsFile=/k/known hosts'"}
    cmd = fs.ssh_command("h01", v, remote)
    assert cmd[cmd.index("-i") + 1] == "/k/id"
    assert "UserKnownHostsFile=/k/known hosts" in cmd
    assert cmd[cmd.index("-p") + 1] == "2222"
    assert cmd[-3:-1] == ["root@10.77.0.11", "--"]
    assert shlex.split(cmd[-1]) == remote


def test_a_failing_host_is_reported_and_the_others_listed(capsys):
    def job(host, _):
        if host == "h02":
            raise RuntimeError("connection refused")
        return {"connections": [{"id": 1, "user": host}]}

    results, errors = fs.on_all([("h01", {}), ("h02", {}), ("h03", {})], job)
    assert sorted(results) == ["h01", "h03"]
    assert errors == {"h02": "connection refused"}
    assert [r[:3] for r in fs.table_rows(results, "connections")] == [
        ["h01", "1", "h01"], ["h03", "1", "h03"]]
    assert fs.report(errors) == 1
    assert "h02: connection refused" in capsys.readouterr().err
    assert fs.report({}) == 0


RECAP = """TASK [x] ***
changed: [h01]
PLAY RECAP *********************************************************************
\x1b[0;33mh01\x1b[0m                        : \x1b[0;32mok=2   \x1b[0m \x1b[0;33mchanged=1   \x1b[0m unreachable=0    failed=0    skipped=0
h02                        : ok=2    changed=0    unreachable=0    failed=0    skipped=0
h10                        : ok=1    changed=12   unreachable=0    failed=1    skipped=0
h03                        : ok=0    changed=0    unreachable=1    failed=0    skipped=0
"""


@pytest.mark.parametrize("function,expected", [
    ("fleet_changed", "h01 h10"),
    ("fleet_recap", "h01 2 1 0 0\nh02 2 0 0 0\nh03 0 0 1 0\nh10 1 12 0 1"),
])
def test_recap(tmp_path, function, expected):
    log = tmp_path / "play.log"
    log.write_text(RECAP)
    out = subprocess.run(["bash", "-c", f'source "$0"; {function} "$1"',
                          str(ROOT / "tests" / "fleet" / "fleet.sh"), str(log)],
                         capture_output=True, text=True, check=True, timeout=30).stdout
    assert out.strip() == expected
