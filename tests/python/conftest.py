# SPDX-License-Identifier: Apache-2.0
"""Test support: the stand-in server (or a scripted one) on the endpoint of this process's private
network namespace, and the command-line tools' JSON for the same state."""

from __future__ import annotations

import json
import os
import socket
import struct
import subprocess
import sys
import threading
import time
from collections.abc import Callable, Iterator
from pathlib import Path
from typing import Any, Optional

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import private_net  # noqa: E402  (tests/support)

from shareadmin._core import server_reachable

SHARESIM = os.environ.get("SHARESIM", "build/tools/sharesim")
SHAREADM = os.environ.get("SHAREADM", "build/tools/shareadm")
SHAREMON = os.environ.get("SHAREMON", "build/tools/sharemon")
ENDPOINT = "\0/tmp/cifs.str"


def pytest_configure(config: pytest.Config) -> None:
    private_net.require("Python", "/usr/bin/python3")


class Sim:
    """A sharesim process serving this namespace until stopped."""

    def __init__(self, *args: str, prefix: tuple[str, ...] = ()) -> None:
        self.proc = subprocess.Popen([*prefix, SHARESIM, *args], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE)
        deadline = time.monotonic() + 30
        while not server_reachable():
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"sharesim did not start: {self.proc.stderr.read()!r}")
            time.sleep(0.01)

    def stop(self) -> None:
        self.proc.terminate()
        self.proc.wait(timeout=30)
        if self.proc.stderr:
            self.proc.stderr.close()


@pytest.fixture
def sim() -> Iterator[Sim]:
    """A fresh stand-in server with 12 clients (the same population every time)."""
    s = Sim("--clients", "12", "--seed", "7")
    yield s
    s.stop()


# Runs a program as uid and gid 65534: a process that is neither root nor the caller.
AS_NOBODY = ("/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups")


@pytest.fixture
def squatter() -> Iterator[Sim]:
    """The stand-in server run by uid 65534: a process squatting on the endpoint."""
    s = Sim("--clients", "3", prefix=AS_NOBODY)
    yield s
    s.stop()


@pytest.fixture
def server_uids() -> Iterator[None]:
    """Puts SHAREADMIN_SERVER_UIDS back as it was after the test."""
    saved = os.environ.get("SHAREADMIN_SERVER_UIDS")
    yield
    if saved is None:
        os.environ.pop("SHAREADMIN_SERVER_UIDS", None)
    else:
        os.environ["SHAREADMIN_SERVER_UIDS"] = saved


def tool(program: str, *args: str) -> Any:
    """The JSON document a tool prints for args."""
    out = subprocess.run([program, "--json", *args], capture_output=True, text=True, timeout=60)
    return json.loads(out.stdout)


def shareadm(*args: str) -> Any:
    """``shareadm --json ARGS``."""
    return tool(SHAREADM, *args)


def sharemon(*args: str) -> Any:
    """``sharemon --json ARGS``."""
    return tool(SHAREMON, *args)


# ---- A scripted server: answers every request with bytes the test chooses ----

def element(kind: int, payload: bytes) -> bytes:
    """One response element."""
    return struct.pack("<B3xI", kind, len(payload)) + payload


def response(status: int, *elements: bytes) -> bytes:
    """A whole response."""
    body = b"".join(elements)
    return struct.pack("<iII", status, len(elements), len(body)) + body


class Scripted:
    """Answers each request with answer(function ID) after `delay` seconds, one thread per
    client, so that slow answers overlap."""

    def __init__(self, answer: Callable[[int], bytes], delay: float = 0.0) -> None:
        self.answer, self.delay = answer, delay
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.bind(ENDPOINT)
        self.sock.listen(256)
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self) -> None:
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self._one, args=(conn,), daemon=True).start()

    def _one(self, conn: socket.socket) -> None:
        with conn:
            head = self._read(conn, 8)
            if head is None:
                return
            _, function, _, _, length = struct.unpack("<BBBBI", head)
            if self._read(conn, length) is None:
                return
            time.sleep(self.delay)
            try:
                conn.sendall(self.answer(function))
            except OSError:
                pass

    @staticmethod
    def _read(conn: socket.socket, n: int) -> Optional[bytes]:
        data = b""
        while len(data) < n:
            chunk = conn.recv(n - len(data))
            if not chunk:
                return None
            data += chunk
        return data

    def stop(self) -> None:
        self.sock.shutdown(socket.SHUT_RDWR)
        self.sock.close()
        self.thread.join(timeout=5)


@pytest.fixture
def scripted() -> Iterator[Callable[..., Scripted]]:
    """Starts scripted servers; each is stopped after the test."""
    started: list[Scripted] = []

    def start(answer: Callable[[int], bytes], delay: float = 0.0) -> Scripted:
        s = Scripted(answer, delay)
        started.append(s)
        return s

    yield start
    for s in started:
        s.stop()
