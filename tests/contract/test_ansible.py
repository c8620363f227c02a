# SPDX-License-Identifier: Apache-2.0
"""The Ansible collection for real: ansible-playbook runs the example playbook with a local
connection against the stand-in server of this namespace; the collection's documentation
parses."""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess

import pytest

from conftest import SHAREADM, SOURCE_DIR, Sim, run

ANSIBLE = SOURCE_DIR / "ansible"
EXAMPLES = ANSIBLE / "examples"
MODULES = ("share", "server_option", "config", "server_info", "share_info", "connection_info",
           "file_info", "option_info", "info")

pytestmark = pytest.mark.skipif(shutil.which("ansible-playbook") is None,
                                reason="ansible-core is not installed")


def ansible(program: str, *args: str, tmp_path) -> subprocess.CompletedProcess:
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=str(ANSIBLE), ANSIBLE_NOCOLOR="1",
               ANSIBLE_LOCAL_TEMP=str(tmp_path / "local"), ANSIBLE_REMOTE_TEMP=str(tmp_path / "remote"),
               ANSIBLE_HOME=str(tmp_path / "home"), ANSIBLE_RETRY_FILES_ENABLED="0")
    return subprocess.run([program, *args], capture_output=True, text=True, env=env, timeout=240)


def playbook(tmp_path, *flags: str, extra: str = "") -> tuple[str, dict]:
    shareadm = os.path.abspath(SHAREADM)
    out = ansible("ansible-playbook", "-i", str(EXAMPLES / "inventory"),
                  str(EXAMPLES / "fileserver.yml"), "-e", f"shareadm_path={shareadm} {extra}",
                  *flags, tmp_path=tmp_path)
    recap = re.search(r"localhost\s*:\s*ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+"
                      r"failed=(\d+)", out.stdout)
    assert recap, out.stdout + out.stderr
    counts = dict(zip(("ok", "changed", "unreachable", "failed"), map(int, recap.groups())))
    return out.stdout, counts


def export() -> str:
    r = run("shareadm", "config", "export")
    assert r.status == 0, r.stderr
    return r.stdout


@pytest.fixture
def fresh():
    s = Sim()
    yield s
    s.stop()


@pytest.mark.parametrize("module", MODULES)
def test_documentation_parses(module, tmp_path):
    out = ansible("ansible-doc", "--json", f"fileserver.shareadmin.{module}", tmp_path=tmp_path)
    assert out.returncode == 0, out.stderr
    doc = json.loads(out.stdout)[f"fileserver.shareadmin.{module}"]
    assert doc["doc"]["short_description"] and doc["examples"].strip() and "shareadm_path" in \
        doc["doc"]["options"]
    assert doc["return"]


def test_check_mode_then_changed_then_idempotent(fresh, tmp_path):
    before = export()
    out, counts = playbook(tmp_path, "--check", "--diff")
    assert counts["failed"] == 0 and counts["changed"] == 3
    assert '+    "share builds": {' in out
    assert '-    "option smb-signing": "YES"' in out and '+    "option smb-signing": "FORCE"' in out
    assert export() == before  # check mode changed nothing

    out, counts = playbook(tmp_path)
    assert counts["failed"] == 0 and counts["changed"] == 3, out
    wanted = json.loads((EXAMPLES / "fileserver.json").read_text())
    shares = {s["name"]: s for s in json.loads(export())["shares"]}
    assert set(shares) == {"builds", "projects", "public"}
    assert shares["projects"]["encrypt_data"] is True and shares["builds"]["max_users"] == 20
    assert run("shareadm", "config", "diff", str(EXAMPLES / "fileserver.json")).status == 0
    assert wanted["shares"][0]["name"] == "projects"

    out, counts = playbook(tmp_path)
    assert counts["failed"] == 0 and counts["changed"] == 0, out
    assert "3 shares, 0 connections, 0 open files" in out


def test_a_refused_value_fails_with_the_tools_message(fresh, tmp_path):
    play = tmp_path / "bad.yml"
    play.write_text(f"""
- hosts: localhost
  connection: local
  gather_facts: false
  tasks:
    - fileserver.shareadmin.server_option:
        name: smb-signing
        value: SOMETIMES
        shareadm_path: {os.path.abspath(SHAREADM)}
""")
    before = export()
    out = ansible("ansible-playbook", "-i", "localhost,", str(play), tmp_path=tmp_path)
    assert out.returncode != 0
    assert "/options/smb-signing" in out.stdout and "nothing was changed" in out.stdout
    assert export() == before


def test_share_absent_and_info_counts(sim, tmp_path):
    play = tmp_path / "absent.yml"
    play.write_text(f"""
- hosts: localhost
  connection: local
  gather_facts: false
  module_defaults:
    group/fileserver.shareadmin.all:
      shareadm_path: {os.path.abspath(SHAREADM)}
  tasks:
    - fileserver.shareadmin.share:
        name: home
        state: absent
      register: without_force
      ignore_errors: true
    - fileserver.shareadmin.share:
        name: home
        state: absent
        force: true
    - fileserver.shareadmin.share:
        name: projects
        volume: VOL1
        comment: Changed
    - fileserver.shareadmin.info:
      register: server
    - ansible.builtin.debug:
        msg: "refused={{{{ without_force.failed }}}} shares={{{{ server.shares | length }}}} connections={{{{ server.connections }}}}"
""")
    out = ansible("ansible-playbook", "-i", "localhost,", str(play), tmp_path=tmp_path)
    assert "refused=True shares=2 connections=12" in out.stdout, out.stdout
    msg = re.search(r'"msg": "((?:[^"\\]|\\.)*)"', out.stdout).group(1)
    assert "needs force: true" in msg and "--force" not in msg
    assert "info has been deprecated" in out.stdout + out.stderr  # the old name still works
    projects = [x for x in json.loads(export())["shares"] if x["name"] == "projects"][0]
    assert projects["comment"] == "Changed" and projects["path"] == "/projects"  # not moved


def task_results(tmp_path, tasks: str) -> list[dict]:
    """Runs tasks (YAML, indented as a play's list) against this namespace's server; returns
    each task's result as Ansible registers it."""
    play = tmp_path / "tasks.yml"
    play.write_text(f"""
- hosts: localhost
  connection: local
  gather_facts: false
  module_defaults:
    group/fileserver.shareadmin.all:
      shareadm_path: {os.path.abspath(SHAREADM)}
  tasks:
{tasks}""")
    os.environ["ANSIBLE_STDOUT_CALLBACK"] = "json"
    try:
        out = ansible("ansible-playbook", "-i", "localhost,", str(play), tmp_path=tmp_path)
    finally:
        del os.environ["ANSIBLE_STDOUT_CALLBACK"]
    doc = json.loads(out.stdout)
    return [t["hosts"]["localhost"] for t in doc["plays"][0]["tasks"]]


def option(name):
    return json.loads(export())["options"][name]


def share_of(name):
    return {s["name"]: s for s in json.loads(export())["shares"]}.get(name)


# Each case: the task, then what its result and the server must show afterwards.
TASK_CASES = {
    "yaml boolean for a switch": (
        "fileserver.shareadmin.server_option: {name: leasing, value: no}",
        lambda r: not r.get("failed") and r["changed"] and option("leasing") == "NO"),
    "booleans and numbers as text in a document": (
        "fileserver.shareadmin.config:\n        document: {options: {leasing: no, "
        "oplock-break-ack-timeout: '15', cache: {dircache: '4096'}}}",
        lambda r: not r.get("failed") and option("leasing") == "NO"
        and option("oplock-break-ack-timeout") == 15),
    "problems themselves in msg": (
        "fileserver.shareadmin.server_option: {name: smb-signing, value: SOMETIMES}",
        lambda r: r["failed"] and not r["changed"] and '/options/smb-signing: "SOMETIMES"'
        in r["msg"] and " in -" not in r["msg"]),
    "parameter names in msg": (
        "fileserver.shareadmin.share: {name: home, state: absent}",
        lambda r: r["failed"] and "needs force: true" in r["msg"] and "--" not in r["msg"]),
    "volume not needed to change": (
        "fileserver.shareadmin.share: {name: projects, comment: Only the comment}",
        lambda r: r["changed"] and share_of("projects")["comment"] == "Only the comment"
        and share_of("projects")["path"] == "/projects"),
    "volume needed to create": (
        "fileserver.shareadmin.share: {name: fresh, comment: New}",
        lambda r: r["failed"] and "volume is required to create" in r["msg"]
        and share_of("fresh") is None),
    "counts without listing": (
        "fileserver.shareadmin.server_info: {gather: [counts]}",
        lambda r: r["connections"] == 12 and r["open_files"] > 0 and "shares" not in r),
    "connections of one user": (
        "fileserver.shareadmin.connection_info: {user: mike}",
        lambda r: r["connections"] and {c["user"].split(",")[0] for c in r["connections"]} ==
        {"cn=mike"}),
    "at most max open files": (
        "fileserver.shareadmin.file_info: {volume: VOL1, max: 2}",
        lambda r: len(r["open_files"]) == 2 and r["total"] > 2),
    "shares by name": (
        "fileserver.shareadmin.share_info: {name: [PROJECTS, nope]}",
        lambda r: [s["name"] for s in r["shares"]] == ["projects"] and r["missing"] == ["nope"]),
    "options by name": (
        "fileserver.shareadmin.option_info: {name: [dialect]}",
        lambda r: r["options"] == {"dialect": option("dialect")}),
}


@pytest.mark.parametrize("case", TASK_CASES)
def test_task(case, sim, tmp_path):
    task, holds = TASK_CASES[case]
    result, = task_results(tmp_path, f"    - {task}\n      ignore_errors: true\n")
    assert holds(result), result


def test_check_mode_and_diff_in_every_changing_module(sim, tmp_path):
    before = export()
    results = task_results(tmp_path, """
    - fileserver.shareadmin.share: {name: projects, comment: Checked}
      check_mode: true
      diff: true
    - fileserver.shareadmin.server_option: {name: leasing, value: false}
      check_mode: true
      diff: true
    - fileserver.shareadmin.config: {document: {user_contexts: [ou=x,o=example]}}
      check_mode: true
      diff: true
""")
    assert export() == before
    assert [r["changed"] for r in results] == [True, True, True]
    assert results[0]["diff"] == {"before": {"share projects": {"comment": "Project workspaces"}},
                                  "after": {"share projects": {"comment": "Checked"}}}
    assert results[1]["diff"]["after"] == {"option leasing": "NO"}
    assert all(set(r["diff"]) == {"before", "after"} for r in results)


def test_a_refusal_part_way_is_changed_with_what_was_applied(tmp_path):
    server = Sim()
    try:
        contexts = json.loads(export())["user_contexts"]
        fit = [f"ou=c{i:03d},o=example" for i in range(256 - len(contexts))]
        src = tmp_path / "doc.json"
        src.write_text(json.dumps({
            "shares": [{"name": "a", "volume": "VOL1", "path": "/a"}],
            "user_contexts": contexts + fit + ["ou=over,o=example", "ou=later,o=example"]}))
        result, = task_results(tmp_path, f"""
    - fileserver.shareadmin.config: {{src: {src}}}
      ignore_errors: true
""")
        assert result["failed"] and result["changed"], result
        assert result["changes"][0]["target"] == "share a" and share_of("a") is not None
        assert [c["target"] for c in result["failed_changes"]] == ["user-context ou=over,o=example"]
        assert [c["target"] for c in result["not_applied"]] == ["user-context ou=later,o=example"]
        assert f"{len(fit) + 1} changes applied, 1 refused, 1 not applied" in result["msg"]
    finally:
        server.stop()
