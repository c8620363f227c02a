# SPDX-License-Identifier: Apache-2.0
"""Test support for the tools' contract: a stand-in server in this process's private network
namespace, a runner that returns what a script sees (exit status, stdout, stderr), and the
published JSON schema to check every document against."""

from __future__ import annotations

import json
import os
import subprocess
import sys
import time
from collections.abc import Iterator
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Optional

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import private_net  # noqa: E402  (tests/support)

SHARESIM = os.environ.get("SHARESIM", "build/tools/sharesim")
SHAREADM = os.environ.get("SHAREADM", "build/tools/shareadm")
SHAREMON = os.environ.get("SHAREMON", "build/tools/sharemon")
SOURCE_DIR = Path(os.environ.get("SHARE_SOURCE_DIR", Path(__file__).resolve().parents[2]))
ENDPOINT = private_net.ENDPOINT
TOOLS = {"shareadm": SHAREADM, "sharemon": SHAREMON, "sharesim": SHARESIM}


def pytest_configure(config: pytest.Config) -> None:
    private_net.require("contract", "python3")


server_reachable = private_net.server_reachable


class Sim:
    """A sharesim process serving this namespace until stopped."""

    def __init__(self, *args: str) -> None:
        self.proc = subprocess.Popen([SHARESIM, *args], stdout=subprocess.DEVNULL,
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


@dataclass
class Result:
    status: int
    stdout: str
    stderr: str

    def json(self) -> Any:
        return json.loads(self.stdout)


def run(program: str, *args: str, timeout: float = 60, env: Optional[dict] = None,
        stdin: Optional[str] = None) -> Result:
    """Runs a tool ("shareadm", "sharemon", "sharesim" or a path) as a script would."""
    out = subprocess.run([TOOLS.get(program, program), *args], capture_output=True, text=True,
                         timeout=timeout, env=env, input=stdin)
    return Result(out.returncode, out.stdout, out.stderr)
