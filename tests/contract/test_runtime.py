# SPDX-License-Identifier: Apache-2.0
"""How the tools run, fail and wait: usage errors that name the word at fault, help and
--version, the --timeout watchdog against a server that never answers, --watch output in files
and pipes, and the libraries' messages kept off standard output whatever /tmp is like."""

from __future__ import annotations

import json
import os
import re
import signal
import socket
import subprocess
import threading
import time
from pathlib import Path

import pytest

from conftest import ENDPOINT, SOURCE_DIR, TOOLS, Sim, run

RFC3339 = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")


def project_version() -> str:
    text = (SOURCE_DIR / "CMakeLists.txt").read_text()
    return re.search(r"project\(\S+ VERSION (\S+)", text).group(1)


def check_error_document(stdout: str, kind: str, status: int) -> dict:
    doc = json.loads(stdout)
    assert list(doc)[0] == "schema_version" and doc["schema_version"] == 1
    assert doc["error"] == kind and doc["exit_status"] == status
    return doc


# tool, args, exit status, fragments of stderr, fragments of stdout
USAGE = [
    ("shareadm", ["share", "remov", "public"], 1,
     ['unknown command "remov"', 'did you mean "remove"'], []),
    ("shareadm", ["shares", "list"], 1, ['unknown command "shares"', 'did you mean "share"'], []),
    ("sharemon", ["conections"], 1,
     ['unknown command "conections"', 'did you mean "connections"'], []),
    ("shareadm", ["--jsn", "share", "list"], 1,
     ['unknown option "--jsn"', 'did you mean "--json"'], []),
    ("shareadm", ["share", "list", "--bogus"], 1, ['unknown option "--bogus"'], []),
    ("shareadm", ["connections", "count", "extra"], 1, ['unexpected argument "extra"'], []),
    ("shareadm", ["share", "list", "--log-mask"], 1, ['option "--log-mask" needs a value'], []),
    ("shareadm", ["share"], 1, ["shareadm: share: a command is required: list"], []),
    ("sharemon", [], 1, ["sharemon: usage: a command is required: "], []),
    ("shareadm", ["help", "shar"], 1, ['unknown command "shar"', 'did you mean "share"'], []),
    ("shareadm", ["help"], 0, [], ["Usage: shareadm [OPTIONS] SUBCOMMAND", "--timeout"]),
    ("shareadm", ["help", "share", "add"], 0, [], ["Usage: shareadm share add", "LOCATION"]),
    ("sharemon", ["help", "files"], 0, [], ["Usage: sharemon files", "VOLUME"]),
    ("shareadm", ["--timeout", "0", "share", "list"], 1, ["--timeout", "greater than 0"], []),
    ("shareadm", ["--timeout", "abc", "share", "list"], 1, ["--timeout", '"abc"'], []),
    ("sharemon", ["--timeout", "3601", "volumes"], 1, ["at most 3600"], []),
]


@pytest.mark.parametrize("tool,args,status,err,out", USAGE, ids=lambda v: str(v))
def test_usage(tool, args, status, err, out):
    r = run(tool, *args)
    assert r.status == status, r.stderr
    for fragment in err:
        assert fragment in r.stderr
    for fragment in out:
        assert fragment in r.stdout
    if status != 0:
        assert r.stdout == "" and "A subcommand is required" not in r.stderr


@pytest.mark.parametrize("tool", ["shareadm", "sharemon"])
def test_version_comes_from_the_project(tool):
    r = run(tool, "--version")
    assert (r.status, r.stdout, r.stderr) == (0, f"{tool} {project_version()}\n", "")


# Parsing failed, so --json is found wherever it is; the text still goes to standard error.
JSON_USAGE = [
    ("shareadm", ["--json", "share", "remov", "public"], "share"),
    ("shareadm", ["share", "remov", "public", "--json"], "share"),
    ("shareadm", ["--format", "json", "share", "remov"], None),
    ("shareadm", ["--format=json", "--timeout", "x", "share", "list"], None),
    ("sharemon", ["conections", "--json"], "usage"),
]


@pytest.mark.parametrize("tool,args,action", JSON_USAGE, ids=lambda v: str(v))
def test_usage_error_under_json_is_a_document(tool, args, action):
    r = run(tool, *args)
    assert r.status == 1
    doc = check_error_document(r.stdout, "usage", 1)
    if action:
        assert doc["action"] == action
    assert doc["message"] in r.stderr


@pytest.fixture
def silent():
    """Something that accepts connections on the endpoint and never answers."""
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    listener.bind(ENDPOINT)
    listener.listen(64)
    listener.settimeout(0.05)
    held, stop = [], threading.Event()

    def accept():
        while not stop.is_set():
            try:
                held.append(listener.accept()[0])
            except socket.timeout:
                pass

    thread = threading.Thread(target=accept)
    thread.start()
    yield
    stop.set()
    thread.join()
    listener.close()
    for c in held:
        c.close()


CHANGE = "the change may or may not have been applied"
# tool, args, action, whether it changes something
TIMEOUTS = [
    ("shareadm", ["share", "list"], "share list", False),
    ("shareadm", ["share", "add", "x", "VOL1:/x"], "share add", True),
    ("shareadm", ["connections", "count"], "connections count", False),
    ("shareadm", ["option", "smb-signing", "yes"], "option smb-signing", True),
    ("sharemon", ["connections"], "connections", False),
    ("sharemon", ["close-volume", "VOL1"], "close-volume", True),
]


@pytest.mark.parametrize("tool,args,action,changes", TIMEOUTS, ids=lambda v: str(v))
def test_silent_server_times_out(silent, tool, args, action, changes):
    started = time.monotonic()
    r = run(tool, "--timeout", "1", *args, timeout=30)
    took = time.monotonic() - started
    assert r.status == 3, r.stderr
    assert 1 <= took < 10
    assert f"{tool}: {action}: the file server did not answer within 1 second" in r.stderr
    assert (CHANGE in r.stderr) == changes
    assert "waiting for the file server" not in r.stderr  # not a terminal


def test_metrics_on_a_silent_server_writes_up_0_within_the_timeout(silent):
    # The exporter says a time-out in what it writes (for the alert) and once on stderr, and
    # obeys the --timeout given before its command.
    started = time.monotonic()
    r = run("sharemon", "--timeout", "1", "metrics", timeout=30)
    took = time.monotonic() - started
    assert r.status == 3, r.stderr
    assert 1 <= took < 10
    lines = r.stdout.splitlines()
    assert "fileserver_up 0" in lines
    assert 'fileserver_scrape_error{kind="timeout"} 1' in lines
    assert r.stderr.count("cannot be read: timeout") == 1, r.stderr


@pytest.mark.parametrize("tool,args,action,changes", TIMEOUTS[:2] + TIMEOUTS[4:6],
                         ids=lambda v: str(v))
def test_silent_server_times_out_with_a_document(silent, tool, args, action, changes):
    r = run(tool, "--json", "--timeout", "0.5", *args, timeout=30)
    assert r.status == 3
    doc = check_error_document(r.stdout, "timeout", 3)
    assert doc["action"] == action and doc["timeout_seconds"] == 0.5
    assert (CHANGE in doc["message"]) == changes


def test_waiting_notice_only_on_a_terminal(silent):
    leader, follower = os.openpty()
    proc = subprocess.Popen([TOOLS["shareadm"], "--timeout", "3", "share", "list"],
                            stdout=subprocess.PIPE, stderr=follower)
    os.close(follower)
    assert proc.wait(timeout=30) == 3
    text = b""
    while True:
        try:
            chunk = os.read(leader, 4096)
        except OSError:
            break
        if not chunk:
            break
        text += chunk
    os.close(leader)
    assert b"shareadm: waiting for the file server to answer (giving up after 3 seconds)" in text
    assert b"did not answer within 3 seconds" in text


def watch(*args: str, stop: int = signal.SIGINT, after: float = 2.5) -> tuple[int, str, str]:
    proc = subprocess.Popen([TOOLS["sharemon"], *args], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    time.sleep(after)
    proc.send_signal(stop)
    out, err = proc.communicate(timeout=30)
    return proc.returncode, out, err


@pytest.mark.parametrize("stop", [signal.SIGINT, signal.SIGTERM])
def test_watch_in_a_pipe_has_timestamp_lines_not_escapes(sim, stop):
    status, out, err = watch("--watch", "1", "volumes", stop=stop)
    assert status == 0, err
    assert "\033" not in out
    blocks = out.split("\n\n")
    assert len(blocks) >= 2
    for block in blocks:
        lines = block.strip("\n").split("\n")
        assert RFC3339.match(lines[0]), block
        assert "VOL1" in lines[1:]


def test_watch_json_is_json_lines(sim):
    status, out, err = watch("--json", "--watch", "1", "volumes")
    assert status == 0, err
    lines = out.splitlines()
    assert len(lines) >= 2
    for line in lines:
        doc = json.loads(line)
        assert list(doc)[:2] == ["schema_version", "timestamp"]
        assert RFC3339.match(doc["timestamp"])


@pytest.mark.parametrize("json_lines", [False, True])
def test_watch_ends_with_the_status_of_its_last_refresh(json_lines):
    # No server: every refresh fails, and so does the watch.
    args = ["--json"] if json_lines else []
    status, out, err = watch(*args, "--watch", "1", "connections")
    assert status == 3
    assert err.count("sharemon: connections: no file server answers") >= 2
    if json_lines:
        lines = out.splitlines()
        assert len(lines) >= 2
        for line in lines:
            doc = check_error_document(line, "unreachable", 3)
            assert RFC3339.match(doc["timestamp"])
    else:
        assert out == ""


def test_watch_stopped_while_the_server_is_silent(silent):
    status, _, err = watch("--watch", "1", "volumes", after=1)
    assert status == 3, err  # no refresh ever answered


# /tmp as a script may meet it: read-only or full. In a private mount namespace, with the build
# (which may itself live under /tmp) moved back in over the new /tmp, so the tool still runs.
TMP_MOUNTS = {
    "read-only": "mount -o remount,ro /tmp",
    "full": "cat /dev/zero > /tmp/fill 2>/dev/null || true",
}
KEEP_BUILD = """set -e
build=$1; shift
case $build in /tmp/*) mount --bind "$build" /mnt ;; esac
mount -t tmpfs -o size=8k tmpfs /tmp
case $build in /tmp/*) mkdir -p "$build"; mount --move /mnt "$build" ;; esac
"""


@pytest.mark.parametrize("tmp", list(TMP_MOUNTS))
def test_library_messages_stay_off_stdout_whatever_tmp_is(sim, tmp):
    build = os.path.realpath(os.environ["SHARE_BUILD_DIR"])
    script = f'{KEEP_BUILD}{TMP_MOUNTS[tmp]}\nexec "$@"'
    out = subprocess.run(["unshare", "--mount", "sh", "-c", script, "sh", build,
                          TOOLS["shareadm"], "--json", "connections", "shares", "99"],
                         capture_output=True, text=True, timeout=60)
    # The library call runs under the capture; stdout is the one document, nothing before it.
    assert out.returncode == 2, out.stderr
    doc = check_error_document(out.stdout, "refused", 2)
    assert doc["status"] == 7
