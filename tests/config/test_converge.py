# SPDX-License-Identifier: Apache-2.0
"""Generated documents against the stand-in server: from a random server state, a valid document
(renames, swaps, chains, creations, removals, options, list entries) applies with exit 0, leaves
`config diff` at exit 0 and a second apply with nothing to do; a prune that would cut clients off
without --force changes nothing; a client killed after a random request converges on one
re-apply. Run in a private network namespace; CONVERGE_EXAMPLES bounds the examples of each seed,
CONVERGE_SEED replays a printed seed."""

from __future__ import annotations

import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import pytest
from hypothesis import HealthCheck, given, seed, settings
from hypothesis import strategies as st

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import private_net  # noqa: E402  (tests/support)

SHARESIM = os.environ.get("SHARESIM", "build/tools/sharesim")
SHAREADM = os.environ.get("SHAREADM", "build/tools/shareadm")
EXAMPLES = int(os.environ.get("CONVERGE_EXAMPLES", "25"))
SEEDS = [20250125, int(os.environ.get("CONVERGE_SEED", random.randrange(2**32)))]
NAMES = ["alpha", "Beta", "gamma", "delta", "eps", "zeta", "eta", "theta", "iota", "kappa"]
PATHS = ["/", "/a", "/b/c", "/data", "/home2"]
COMMENTS = ["", "Team files", "x"]


def pytest_configure() -> None:
    private_net.require("converge", "python3")


pytest_configure()


class Sim:
    """A stand-in server, its request log counted."""

    def __init__(self, *args: str) -> None:
        self.requests = 0
        self.proc = subprocess.Popen([SHARESIM, "--verbose", *args], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, text=True)
        threading.Thread(target=self._count, daemon=True).start()
        deadline = time.monotonic() + 30
        while not private_net.server_reachable():
            assert self.proc.poll() is None and time.monotonic() < deadline, "sharesim died"
            time.sleep(0.005)

    def _count(self) -> None:
        for line in self.proc.stderr:
            if line.startswith("sharesim: function"):
                self.requests += 1

    def stop(self) -> None:
        self.proc.terminate()
        self.proc.wait(timeout=30)


def shareadm(*args: str, json_out: bool = True) -> subprocess.CompletedProcess:
    return subprocess.run([SHAREADM, *(["--json"] if json_out else []), *args],
                          capture_output=True, text=True, timeout=120)


def export() -> dict:
    r = shareadm("config", "export", json_out=False)
    assert r.returncode == 0, r.stderr
    return json.loads(r.stdout)


def clients() -> dict[str, int]:
    listing = shareadm("share", "list").stdout
    return {s["name"].upper(): s.get("clients", 0) for s in json.loads(listing)["shares"]}


def write(doc: dict) -> str:
    fd, path = tempfile.mkstemp(suffix=".json")
    with os.fdopen(fd, "w") as f:
        json.dump(doc, f)
    return path


@st.composite
def documents(draw, state: dict):
    """A valid document from state (as exported): each share kept, changed, renamed or dropped,
    some swapped or chained, new ones added; options and list entries changed."""
    shares = [dict(s) for s in state["shares"]]
    free = [n for n in NAMES if n.upper() not in {s["name"].upper() for s in shares}]
    volumes = ["VOL1", "VOL2"]
    out = []
    for s in shares:
        fate = draw(st.sampled_from(["keep", "change", "rename", "drop"]))
        if fate == "drop":
            continue
        if fate == "rename" and free:
            new = free.pop(draw(st.integers(0, len(free) - 1)))
            s = s | {"name": new, "renamed_from": s["name"]}
        if fate == "change":
            field = draw(st.sampled_from(["path", "volume", "comment", "max_users", "mfa",
                                          "encrypt_data", "atm_backup"]))
            s[field] = {"path": lambda: draw(st.sampled_from(PATHS)),
                        "volume": lambda: draw(st.sampled_from(volumes)),
                        "comment": lambda: draw(st.sampled_from(COMMENTS)),
                        "max_users": lambda: draw(st.integers(0, 9)),
                        }.get(field, lambda: not s[field])()
        out.append(s)
    existing = [s for s in out if "renamed_from" not in s]
    if len(existing) >= 2 and draw(st.booleans()):  # a swap, or a chain into a free name
        a, b = draw(st.permutations(existing))[:2]
        if free and draw(st.booleans()):
            a["renamed_from"], a["name"] = a["name"], free.pop()
            b["renamed_from"], b["name"] = b["name"], a["renamed_from"]
        else:
            a["renamed_from"], b["renamed_from"] = a["name"], b["name"]
            a["name"], b["name"] = b["name"], a["name"]
    taken = {s["name"].upper() for s in out}
    # A new share may take a name being renamed away.
    candidates = [n for n in free + [s.get("renamed_from", "") for s in out]
                  if n and n.upper() not in taken]
    for name in draw(st.lists(st.sampled_from(candidates), unique_by=str.upper, max_size=3)
                     if candidates else st.just([])):
        new = {"name": name, "volume": draw(st.sampled_from(volumes)),
               "path": draw(st.sampled_from(PATHS))}
        if draw(st.booleans()):
            new["mfa"] = True
        if draw(st.booleans()):
            new["comment"] = draw(st.sampled_from(COMMENTS))
        out.append(new)
    doc = {"schema_version": 1, "shares": draw(st.permutations(out))}
    options = {}
    if draw(st.booleans()):
        options["smb-signing"] = draw(st.sampled_from(["YES", "NO", "optional", "force"]))
    if draw(st.booleans()):
        options["share-volumes-by-default"] = {draw(st.sampled_from(["FS1", "FS2"])):
                                               draw(st.sampled_from(["yes", "NO"]))}
    if draw(st.booleans()):
        options["multichannel-interface"] = draw(st.lists(
            st.sampled_from(["eth0", "eth1", "bond0"]), unique=True, max_size=2))
    if draw(st.booleans()):
        options["virtual-server"] = [{"name": n, "address": f"192.0.2.{i}"} for i, n in
                                     enumerate(draw(st.lists(st.sampled_from(["FS-A", "FS-B"]),
                                                             unique=True, max_size=2)))]
    if options:
        doc["options"] = options
    if draw(st.booleans()):
        doc["invalid_users"] = {
            "timeout_minutes": draw(st.sampled_from([30, 45])),
            "permanent": draw(st.lists(st.sampled_from(["guest", "mallory", "tempuser"]),
                                       unique=True))}
    if draw(st.booleans()):
        doc["user_contexts"] = draw(st.lists(
            st.sampled_from(["ou=staff,o=example", "ou=new,o=example"]), unique=True))
    return doc


def cut_off(doc: dict, before: dict, counts: dict[str, int]) -> bool:
    """Whether pruning to doc removes a share that has clients."""
    kept = {s[k].upper() for s in doc["shares"] for k in ("name", "renamed_from") if k in s}
    return any(counts.get(s["name"].upper(), 0) > 0 for s in before["shares"]
               if s["name"].upper() not in kept)


def flags(prune: bool, force: bool) -> list[str]:
    return (["--prune"] if prune else []) + (["--force"] if force else [])


def assert_converged(path: str, options: list[str]) -> None:
    diff = shareadm("config", "diff", path, *[f for f in options if f == "--prune"],
                    json_out=False)
    assert diff.returncode == 0, f"diff after apply:\n{diff.stdout}{diff.stderr}"
    again = shareadm("config", "apply", path, *options)
    assert again.returncode == 0 and again.stdout and json.loads(again.stdout)["changed"] is False, \
        f"second apply changed:\n{again.stdout}"


def converges(doc: dict, prune: bool, force: bool) -> None:
    before, counts = export(), clients()
    path = write(doc)
    try:
        r = shareadm("config", "apply", path, *flags(prune, force))
        if prune and not force and cut_off(doc, before, counts):
            assert r.returncode == 1, f"a prune cut clients off without --force:\n{r.stdout}"
            assert export() == before
            return
        assert r.returncode == 0, f"{json.dumps(doc)}\n{r.stdout}{r.stderr}"
        assert_converged(path, flags(prune, force))
    finally:
        os.unlink(path)


def server_args(rng: random.Random) -> list[str]:
    # Few clients, so that a share with exactly one is common.
    return ["--clients", str(rng.randrange(0, 4)), "--seed", str(rng.randrange(1000))]


@pytest.mark.parametrize("run_seed", SEEDS, ids=lambda s: f"seed={s}")
def test_every_valid_document_converges_in_one_apply(run_seed):
    print(f"\nconverge: seed {run_seed}, {EXAMPLES} examples (CONVERGE_SEED={run_seed} replays)")

    @seed(run_seed)
    @settings(max_examples=EXAMPLES, deadline=None, database=None,
              suppress_health_check=list(HealthCheck))
    @given(st.data(), st.integers(0, 2**31), st.booleans(), st.booleans())
    def prop(data, server_seed, prune, force):
        sim = Sim(*server_args(random.Random(server_seed)))
        try:
            converges(data.draw(documents(export())), prune, force)
        finally:
            sim.stop()

    prop()


@pytest.mark.parametrize("run_seed", SEEDS, ids=lambda s: f"seed={s}")
def test_a_client_killed_after_any_request_converges_on_one_reapply(run_seed):
    @seed(run_seed)
    @settings(max_examples=max(EXAMPLES // 2, 1), deadline=None, database=None,
              suppress_health_check=list(HealthCheck))
    @given(st.data(), st.integers(0, 2**31), st.booleans(), st.integers(1, 40))
    def prop(data, server_seed, prune, after):
        sim = Sim(*server_args(random.Random(server_seed)))
        try:
            path = write(data.draw(documents(export())))
            options = flags(prune, prune)
            start = sim.requests
            client = subprocess.Popen([SHAREADM, "config", "apply", path, *options],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while client.poll() is None and sim.requests - start < after:
                time.sleep(0.0005)
            if client.poll() is None:
                client.send_signal(signal.SIGKILL)
            client.wait()
            r = shareadm("config", "apply", path, *options)
            assert r.returncode == 0, r.stdout + r.stderr
            assert_converged(path, options)
            os.unlink(path)
        finally:
            sim.stop()

    prop()


# Shapes the generators found or the planner once got wrong, kept as fixed cases.
REGRESSIONS = {
    "chain": [{"name": "archive", "volume": "VOL1", "renamed_from": "projects"},
              {"name": "projects", "volume": "VOL1", "renamed_from": "public"}],
    "swap": [{"name": "projects", "volume": "VOL1", "path": "/b/c", "renamed_from": "public"},
             {"name": "public", "volume": "VOL2", "path": "/a", "renamed_from": "projects"}],
    "new under a renamed-away name": [
        {"name": "work", "volume": "VOL1", "renamed_from": "projects"},
        {"name": "projects", "volume": "VOL2", "path": "/data"}],
    "created with its MFA switch": [{"name": "eta", "volume": "VOL1", "mfa": True}],
    "path alone": [{"name": "public", "volume": "VOL1", "path": "/data"}],
}


@pytest.mark.parametrize("name", REGRESSIONS)
def test_fixed_shapes_converge(name):
    sim = Sim("--clients", "3", "--seed", "7")
    try:
        state = export()
        mentioned = {s.get("renamed_from", s["name"]).upper() for s in REGRESSIONS[name]}
        shares = [s for s in state["shares"] if s["name"].upper() not in mentioned]
        converges({"schema_version": 1, "shares": shares + REGRESSIONS[name]}, False, False)
    finally:
        sim.stop()


def test_a_prune_without_force_spares_a_share_with_one_client():
    for server_seed in range(200):  # a population where some share has exactly one client
        sim = Sim("--clients", "2", "--seed", str(server_seed))
        counts = clients()
        lone = [s["name"].upper() for s in export()["shares"] if counts[s["name"].upper()] == 1]
        if lone:
            break
        sim.stop()
    else:
        pytest.skip("no population with a share of exactly one client")
    try:
        state = export()
        doc = {"schema_version": 1,
               "shares": [s for s in state["shares"] if s["name"].upper() != lone[0]]}
        converges(doc, True, False)
    finally:
        sim.stop()
