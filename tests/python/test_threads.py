# SPDX-License-Identifier: Apache-2.0
"""Threads: each thread's calls are independent (its own argument block, its own answer, its
own library messages), the GIL is released while a call waits, and the library's standard
output never reaches the caller's."""

from __future__ import annotations

import subprocess
import sys
import threading
import time
from collections.abc import Callable
from typing import Any

import shareadmin as sa
import shareadmin.monitor as mon
from conftest import element, response

THREADS = 16


def run_threads(work: Callable[[int], None], n: int = THREADS) -> list[BaseException]:
    errors: list[BaseException] = []
    start = threading.Barrier(n)

    def body(k: int) -> None:
        try:
            start.wait()
            work(k)
        except BaseException as e:  # reported to the test below
            errors.append(e)

    threads = [threading.Thread(target=body, args=(k,)) for k in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    return errors


def test_sixteen_threads_get_their_own_answers(sim: Any) -> None:
    workstations = {c.id: c.workstation for c in sa.connections()}
    names = sa.share_names()

    def work(k: int) -> None:
        cid = k % len(workstations) + 1
        for i in range(40):
            kind = (k + i) % 5
            if kind == 0:
                assert sa.connection(cid).workstation == workstations[cid]
            elif kind == 1:
                assert mon.connection(cid).id == cid
            elif kind == 2:
                assert all(f.connection == cid for f in sa.open_files(connection=cid).files)
            elif kind == 3:
                assert sa.share(names[k % len(names)]).name == names[k % len(names)]
            else:
                # A rejection whose message names this thread's own value.
                value = 100 + k * 1000 + i
                try:
                    sa.set_option("oplock-break-ack-timeout", value)
                except sa.Rejected as e:
                    assert f'"{value}"' in e.message, e.message
                else:
                    raise AssertionError("accepted")

    assert run_threads(work) == []


def test_calls_overlap_their_waits(scripted: Any) -> None:
    # Each answer comes after 0.4 s; with the GIL held during the wait, 16 calls would take
    # 6.4 s (or never finish: the server's threads need the GIL too).
    scripted(lambda function: response(0, element(1, b"VOL1\0")), delay=0.4)
    began = time.monotonic()
    assert run_threads(lambda k: sa.share_names() == ["VOL1"] or None) == []
    assert time.monotonic() - began < 2.0
    ticks = 0
    caller = threading.Thread(target=sa.share_names)
    caller.start()
    while caller.is_alive():
        ticks += 1
        time.sleep(0.001)
    assert ticks > 50  # this thread ran while the call waited


SCRIPT = r"""
import ctypes, sys, threading
import shareadmin as sa
libc = ctypes.CDLL(None)
# Whole lines per write on both sides, so that only a change of ours could tear or lose one.
libc.setvbuf(ctypes.c_void_p.in_dll(libc, "stdout"), None, 2, 0)
messages, barrier = {}, threading.Barrier(12)

def rejected(k):
    barrier.wait()
    for i in range(50):
        value = 1000 + k * 100 + i
        try:
            sa.set_option("oplock-break-ack-timeout", value)
        except sa.Rejected as e:
            messages[value] = e.message

def python_output(k):
    barrier.wait()
    for i in range(50):
        sys.stdout.write(f"py {k} {i}\n")
        sys.stdout.flush()

def c_output(k):
    barrier.wait()
    for i in range(50):
        # Through C's stdout as the process has it at the time: ours while calls run.
        libc.fputs(f"c {k} {i}\n".encode(), ctypes.c_void_p.in_dll(libc, "stdout"))
    libc.fflush(None)

threads = [threading.Thread(target=f, args=(k,)) for k in range(4)
           for f in (rejected, python_output, c_output)]
for t in threads: t.start()
for t in threads: t.join()
libc.fflush(None)
ok = all(f'"{v}"' in m and m.startswith("Failed to set oplock") for v, m in messages.items())
print(f"messages {len(messages)} {ok}", flush=True)
"""


def test_library_output_stays_out_of_the_callers_stdout(sim: Any) -> None:
    out = subprocess.run([sys.executable, "-c", SCRIPT], capture_output=True, text=True,
                         timeout=120)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.splitlines()
    expected = {f"py {k} {i}" for k in range(4) for i in range(50)} | \
               {f"c {k} {i}" for k in range(4) for i in range(50)} | {"messages 200 True"}
    # Nothing lost, nothing torn, nothing of the library's added.
    assert sorted(lines) == sorted(expected)
