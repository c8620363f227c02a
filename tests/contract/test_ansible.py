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
MODULES = ("share", "server_option", "config", "info")

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
    assert doc["return"] or module == "info"


def test_check_mode_then_changed_then_idempotent(fresh, tmp_path):
    before = export()
    out, counts = playbook(tmp_path, "--check", "--diff")
    assert counts["failed"] == 0 and counts["changed"] == 3
    assert "+ share builds" in out and '~ option smb-signing: "YES" -> "FORCE"' in out
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
    assert "needs --force" in out.stdout
    projects = [x for x in json.loads(export())["shares"] if x["name"] == "projects"][0]
    assert projects["comment"] == "Changed" and projects["path"] == "/projects"  # not moved
