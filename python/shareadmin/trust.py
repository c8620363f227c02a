# SPDX-License-Identifier: Apache-2.0
"""Which server the binding talks to. The endpoint's abstract name carries no permissions, so any
local process may hold it. As the command-line tools do, the package accepts a server run by root
or by the calling user unless told otherwise, and hands the list to the libraries in
``SHAREADMIN_SERVER_UIDS``, which they check on every exchange before sending a byte."""

from __future__ import annotations

import os
import socket
import struct
from collections.abc import Iterable
from typing import Optional

VARIABLE = "SHAREADMIN_SERVER_UIDS"
ENDPOINT = "\0/tmp/cifs.str"
# The kernel's "no uid"; the libraries refuse it in the list.
NO_UID = 4294967295

__all__ = ["set_server_uids", "server_uids"]


def _parse(text: str) -> Optional[tuple[int, ...]]:
    """The uids of the variable's text as the libraries read it, or None when malformed: every
    item decimal digits only, below 4294967295, none empty."""
    uids = []
    for item in text.split(","):
        if not item or not item.isascii() or not item.isdigit() or int(item) >= NO_UID:
            return None
        uids.append(int(item))
    return tuple(uids)


def _default() -> str:
    uid = os.getuid()
    return "0" if uid == 0 else f"0,{uid}"


def set_server_uids(uids: Optional[Iterable[int]]) -> None:
    """Accepts a server run by exactly these uids; None talks to whatever process holds the
    endpoint (no check). Changes the process environment, which the libraries read on every
    exchange: call it before other threads use the package."""
    if uids is None:
        os.environ.pop(VARIABLE, None)
        return
    listed = list(uids)
    for uid in listed:
        if not isinstance(uid, int) or isinstance(uid, bool):
            raise TypeError(f"server uid must be int, not {type(uid).__name__}")
        if not 0 <= uid < NO_UID:
            raise ValueError(f"server uid must be from 0 to {NO_UID - 1}, not {uid}")
    if not listed:
        # An empty variable means "no check" to the libraries: never let an empty list say that.
        raise ValueError("give at least one server uid, or None to accept any server")
    os.environ[VARIABLE] = ",".join(str(u) for u in listed)


def server_uids() -> Optional[tuple[int, ...]]:
    """The uids a server must run as (None: any server). ValueError when the variable is not a
    comma-separated list of numeric uids (every call then fails)."""
    text = os.environ.get(VARIABLE, "")
    if not text:
        return None
    uids = _parse(text)
    if uids is None:
        raise ValueError(malformed_message(text))
    return uids


def malformed_message(text: str) -> str:
    return f'{VARIABLE}="{text}" is not a comma-separated list of numeric uids'


def endpoint_holder() -> Optional[tuple[int, int]]:
    """(uid, pid) of the process holding the endpoint, from the kernel; None when nobody
    listens."""
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        try:
            s.connect(ENDPOINT)
            raw = s.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, struct.calcsize("3i"))
        except OSError:
            return None
    pid, uid, _ = struct.unpack("iIi", raw)
    return uid, pid


# A variable already in the environment stays as it is (the tools do the same); without one the
# default is root and the calling user.
if not os.environ.get(VARIABLE):
    os.environ[VARIABLE] = _default()
