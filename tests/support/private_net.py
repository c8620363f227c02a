# SPDX-License-Identifier: Apache-2.0
"""The guard every process-level suite runs first: they play the file server on its fixed name,
so they run only in a private network namespace, never next to a real server; and the probe of
that name they wait on."""

import socket
import subprocess

import pytest


def in_private_namespace() -> bool:
    # A fresh network namespace has the loopback interface only.
    with open("/proc/self/net/dev") as f:
        names = {line.split(":")[0].strip() for line in f.readlines()[2:]}
    return names == {"lo"}


def require(suite: str, python: str = "python3", loopback: bool = False) -> None:
    """Stops the run unless in a private namespace; loopback brings its lo up (for suites that
    serve on a port)."""
    if not in_private_namespace():
        raise pytest.UsageError(f"run the {suite} tests in a private network namespace "
                                f"(unshare --net -- {python} -m pytest ...)")
    if loopback:
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)


ENDPOINT = "\0/tmp/cifs.str"


def server_reachable() -> bool:
    """Whether anything accepts connections on the file server's fixed name."""
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        try:
            s.connect(ENDPOINT)
            return True
        except OSError:
            return False
