# SPDX-License-Identifier: Apache-2.0
"""Cost of listing 65,535 connections through the binding, next to the same library call made
through cffi without conversion (the floor), measured in one run against one stand-in server.

Run it in a private network namespace (it plays nothing itself, but starts sharesim on the
server's fixed name):

    unshare --net -- /usr/bin/python3 python/bench_listing.py --sharesim build/tools/sharesim

The ratio moves with the machine's load, so the table only reports it against --target. With
--check it exits 1 on a gross regression only: the binding costing more than --gross times the
target (a busy machine does not get there; a lost fast path does).
"""

from __future__ import annotations

import argparse
import gc
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable

CONNECTIONS = 65535


def write_state(sharesim: str, path: str) -> None:
    """A state file with CONNECTIONS connections, from the file sharesim makes itself."""
    proc = subprocess.Popen([sharesim, "--state", path], stderr=subprocess.DEVNULL)
    wait_for_server(proc)
    proc.terminate()
    proc.wait()
    with open(path) as f:
        state = json.load(f)
    state["connections"] = [
        {"id": i, "flags": 2, "workstation": f"WS-{i:05d}",
         "user": f"cn=user{i},ou=staff,o=example", "address": f"198.51.{i >> 8}.{i & 255}",
         "dialect": "SMB 3.1.1", "auth": "Kerberos", "login_at": 1765000000 + i,
         "last_activity": 1765000000 + 2 * i, "bytes_read": i * 1000, "bytes_written": i * 10,
         "security_equivalences": [], "mapped_shares": [], "open_files": []}
        for i in range(1, CONNECTIONS + 1)]
    with open(path, "w") as f:
        json.dump(state, f)


def wait_for_server(proc: subprocess.Popen[bytes]) -> None:
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            try:
                s.connect("\0/tmp/cifs.str")
                return
            except OSError:
                if proc.poll() is not None:
                    raise RuntimeError("sharesim exited")
                time.sleep(0.02)
    raise RuntimeError("sharesim did not start")


def measure(fn: Callable[[], int], repetitions: int) -> list[float]:
    times = []
    for _ in range(repetitions):
        gc.collect()
        began = time.perf_counter()
        n = fn()
        times.append(time.perf_counter() - began)
        if n != CONNECTIONS:
            raise RuntimeError(f"listed {n} connections, expected {CONNECTIONS}")
    return times


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sharesim", required=True)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--target", type=float, default=3.0)
    parser.add_argument("--check", action="store_true",
                        help="exit 1 when a ratio exceeds --gross times its target")
    parser.add_argument("--gross", type=float, default=3.0)
    parser.add_argument("--quick", action="store_true",
                        help="each row once: a functional run (test suite)")
    args = parser.parse_args()

    # The sources beside this script lack the extension: import the built package (PYTHONPATH).
    here = os.path.dirname(os.path.abspath(__file__))
    sys.path[:] = [p for p in sys.path if os.path.abspath(p or ".") != here]
    import shareadmin
    import shareadmin.monitor
    from shareadmin._native import ffi, lib

    def floor_ext() -> int:
        # The C call and its release, through cffi (GIL released), no Python objects made.
        count, head = ffi.new("int32_t *"), ffi.new("ConnListNode **")
        if lib.Ext_ListConnDetails(count, head) != 0:
            raise RuntimeError("Ext_ListConnDetails failed")
        lib.FreeConnListNodes(head)
        return count[0]

    def floor_cifslib() -> int:
        out = ffi.new("ConnectionList **")
        if lib.CIFSLIB_GetConnectionsList(out) != 0:
            raise RuntimeError("CIFSLIB_GetConnectionsList failed")
        n = out[0].count
        lib.free(out[0].records)
        lib.free(out[0])
        return n

    rows = [("65,535 connections: monitor.connections() / Ext_ListConnDetails via cffi",
             lambda: len(shareadmin.monitor.connections()), floor_ext, args.target),
            ("65,535 connections: connections() / CIFSLIB_GetConnectionsList via cffi",
             lambda: len(shareadmin.connections()), floor_cifslib, None)]
    if args.quick:
        args.repetitions = 1

    with tempfile.TemporaryDirectory() as tmp:
        state = os.path.join(tmp, "state.json")
        write_state(args.sharesim, state)
        server = subprocess.Popen([args.sharesim, "--state", state], stderr=subprocess.DEVNULL)
        try:
            wait_for_server(server)
            results = []
            for _, ours, floor, _ in rows:
                ours(), floor()  # warm-up
                # Interleaved, so that drift of the machine affects both alike.
                pairs = [(measure(ours, 1)[0], measure(floor, 1)[0])
                         for _ in range(args.repetitions)]
                results.append((statistics.median(p[0] for p in pairs),
                                statistics.median(p[1] for p in pairs)))
        finally:
            server.terminate()
            server.wait()

    gross = False
    print(f"{'Ratio':<78}{'ours':>10}{'floor':>12}{'ratio':>8}    target")
    for (title, _, _, target), (ours_s, floor_s) in zip(rows, results):
        ratio = ours_s / floor_s
        verdict = "-"
        if target is not None:
            met = ratio <= target
            gross |= ratio > target * args.gross
            verdict = f"<= {target:.2f}  {'met' if met else 'MISSED'}"
        print(f"{title:<78}{ours_s * 1e3:>7.2f} ms{floor_s * 1e3:>9.2f} ms{ratio:>8.2f}"
              f"   {verdict}")
    if gross:
        print(f"A ratio exceeds {args.gross:g} times its target: a gross regression")
    return 1 if gross and args.check else 0


if __name__ == "__main__":
    sys.exit(main())
