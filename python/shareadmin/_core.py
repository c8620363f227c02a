# SPDX-License-Identifier: Apache-2.0
"""Calling the libraries: argument checks, the captured standard output of a call, the mapping
of results to exceptions, commands of the argument block, and text decoding."""

from __future__ import annotations

import gc
import os
import socket
import struct
import threading
import warnings
from collections.abc import Callable, Iterator, Sequence
from contextlib import contextmanager
from typing import Any, Optional

from ._native import ffi, lib
from . import facts, trust
from .errors import BadReply, Rejected, ServerRefused, UnexpectedServer, Unreachable

ENDPOINT = "\0/tmp/cifs.str"

# One argument of a command: its code and its text (None for none).
Arg = tuple[int, Optional[str]]


class LibraryMessage(UserWarning):
    """Text a library call printed although it succeeded (not expected; kept, not lost)."""


def server_reachable() -> bool:
    """True when something accepts connections on the file server's endpoint."""
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        try:
            s.connect(ENDPOINT)
            return True
        except OSError:
            return False


def call(fn: Callable[..., int], *args: Any) -> tuple[int, str]:
    """Runs one library function with what it prints on standard output captured.

    The GIL is released for the duration of every call through ``lib``.
    """
    text = ffi.new("char **")
    lib.sa_capture_begin()
    try:
        rc = fn(*args)
    finally:
        n = lib.sa_capture_end(text)
    message = ffi.string(text[0], n).decode("utf-8", "replace").strip() if n else ""
    return rc, message


def check_server(action: str) -> None:
    """After a failed call: raises UnexpectedServer when the endpoint is held by a uid the
    accepted list leaves out (the libraries refused to talk to it), or Rejected when the list
    is malformed (the libraries refuse every exchange)."""
    text = os.environ.get(trust.VARIABLE, "")
    if not text:
        return
    accepted = trust._parse(text)
    if accepted is None:
        raise Rejected(action, trust.malformed_message(text))
    holder = trust.endpoint_holder()
    if holder is not None and holder[0] not in accepted:
        raise UnexpectedServer(action, holder[0], holder[1], accepted)


def check(action: str, rc: int, message: str) -> None:
    """Maps a result: 0 returns; a server status raises ServerRefused; -1 raises
    UnexpectedServer, Rejected (with what the library printed) or Unreachable."""
    if rc == 0:
        if message:
            warnings.warn(f"{action}: {message}", LibraryMessage, stacklevel=3)
        return
    if rc != -1:
        raise ServerRefused(action, rc)
    check_server(action)
    if message:
        raise Rejected(action, message)
    if not server_reachable():
        raise Unreachable(action)
    raise Rejected(action, "the library could not complete the request "
                           "(its reason is logged to syslog, facility LOCAL0)")


def invoke(action: str, fn: Callable[..., int], *args: Any) -> None:
    """call() and check() in one."""
    rc, message = call(fn, *args)
    check(action, rc, message)


def listing(action: str, attempt: Callable[[], tuple[int, str]],
            probe: Callable[[], list[tuple[int, bytes]]],
            empty: Callable[[list[tuple[int, bytes]]], bool]) -> bool:
    """A listing whose library call answers -1 both for "nothing to list" and for a failure.
    True when the call succeeded; False only when the same request made again (``probe``)
    shows an answer that ``empty`` calls empty. Anything else raises: a failure is never an
    empty list. The call is tried twice in case the population changed between the two."""
    for _ in range(2):
        rc, message = attempt()
        if rc != -1 or message:
            check(action, rc, message)
            return True
        check_server(action)
        if not server_reachable():
            raise Unreachable(action)
        if empty(probe()):
            return False
    raise Rejected(action, "the library could not use the server's answer "
                           "(its reason is logged to syslog, facility LOCAL0)")


# ---- Arguments ----

def text_arg(what: str, value: object, *, allow_empty: bool = False) -> bytes:
    """A text argument as the library takes it: str, UTF-8, without NUL."""
    if not isinstance(value, str):
        raise TypeError(f"{what} must be str, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"{what} must not contain NUL characters")
    if not value and not allow_empty:
        raise ValueError(f"{what} must not be empty")
    return value.encode("utf-8")


def int_arg(what: str, value: object, low: int, high: int) -> int:
    """An integer argument within [low, high] (bool is not an integer here)."""
    if not isinstance(value, int) or isinstance(value, bool):
        raise TypeError(f"{what} must be int, not {type(value).__name__}")
    if not low <= value <= high:
        raise ValueError(f"{what} must be from {low} to {high}, not {value}")
    return value


def connection_id(value: object) -> int:
    """A connection ID, within the tools' limits."""
    return facts.number("connection-id", "connection ID", value)


def yes_no(what: str, value: object) -> str:
    """A switch as the commands take it."""
    if not isinstance(value, bool):
        raise TypeError(f"{what} must be bool, not {type(value).__name__}")
    return "YES" if value else "NO"


# ---- Results ----

_gc_lock = threading.Lock()
_gc_users = 0
_gc_was_enabled = False


@contextmanager
def many_records() -> Iterator[None]:
    """Pauses the cyclic garbage collector while a long listing becomes records: they hold no
    cycles, and the collector's passes over the growing list cost about as much as making them.
    Threads share one pause; the collector's state is restored when the last one ends."""
    global _gc_users, _gc_was_enabled
    with _gc_lock:
        if _gc_users == 0:
            _gc_was_enabled = gc.isenabled()
            gc.disable()
        _gc_users += 1
    try:
        yield
    finally:
        with _gc_lock:
            _gc_users -= 1
            if _gc_users == 0 and _gc_was_enabled:
                gc.enable()


def decode(raw: bytes, what: str) -> str:
    """Text of a field up to its first NUL; BadReply when it is not UTF-8."""
    raw = raw.partition(b"\0")[0]
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError as e:
        raise BadReply("decode", f"{what} is not UTF-8 text: {raw!r}") from e


def record_struct(ctype: str, fields: Sequence[tuple[str, str]]) -> struct.Struct:
    """A struct format reading the named fields of a C record (little-endian), at the offsets
    the compiler gave them; whatever lies between them is skipped."""
    fmt, at = "<", 0
    for name, code in fields:
        offset = ffi.offsetof(ctype, name)
        fmt += f"{offset - at}x" if offset > at else ""
        fmt += code
        at = offset + struct.calcsize("<" + code)
    return struct.Struct(fmt + f"{ffi.sizeof(ctype) - at}x")


def field(cdata: Any, what: str) -> str:
    """Text of a char array field of a record."""
    return decode(ffi.buffer(cdata)[:], what)


def cstring(ptr: Any, what: str) -> str:
    """Text of a NUL-terminated heap string."""
    return decode(ffi.string(ptr), what)


def text_at(block: bytes, offset: int, what: str) -> str:
    """Text at offset of a block, which must end in the block."""
    end = block.find(b"\0", offset)
    if offset >= len(block) or end < 0:
        raise BadReply("decode", f"{what} runs past the end of its record")
    return decode(block[offset:end], what)


# ---- Commands of the argument block ----

def run_command(action: str, args: Sequence[Arg], *,
                whole: bool = False) -> list[tuple[int, bytes]]:
    """Fills the calling thread's gbCifsArg, runs ValidateAndProcessCmd and returns the
    response's elements as (type, payload); a non-zero status raises ServerRefused. ``whole``:
    BadReply unless every announced element could be read."""
    ids = ffi.new("int32_t[]", [code for code, _ in args])
    keep = [ffi.new("char[]", text_arg("argument", v, allow_empty=True)) if v is not None
            else ffi.NULL for _, v in args]
    values = ffi.new("char *[]", keep)
    out = ffi.new("RespPkt **")
    rc, message = call(lib.sa_run_command, ids, values, len(args), out)
    check(action, rc, message)
    return _answer(action, out[0], whole)


def monitor_exchange(action: str, function: int,
                     text: Optional[bytes]) -> list[tuple[int, bytes]]:
    """Every element of the answer to the request a monitoring call sends (function ID and its
    text); a non-zero status raises ServerRefused, an element that cannot be read BadReply."""
    out = ffi.new("RespPkt **")
    keep = ffi.new("char[]", text) if text is not None else ffi.NULL
    rc, message = call(lib.sa_monitor_exchange, function, keep, out)
    check(action, rc, message)
    return _answer(action, out[0], True)


def _answer(action: str, response: Any, whole: bool) -> list[tuple[int, bytes]]:
    try:
        status = lib.sa_response_status(response)
        if status != 0:
            raise ServerRefused(action, status)
        elements = list(_elements(response))
        announced = int.from_bytes(ffi.buffer(response.buffer + 4, 4)[:], "little")
        if whole and len(elements) != announced:
            raise BadReply(action, f"the answer announces {announced} elements and "
                                   f"{len(elements)} could be read")
        return elements
    finally:
        lib.sa_release_response(response)


def _elements(response: Any) -> Iterator[tuple[int, bytes]]:
    length = ffi.new("uint32_t *")
    kind = ffi.new("uint8_t *")
    if int.from_bytes(ffi.buffer(response.buffer + 4, 4)[:], "little") == 0:
        return  # no elements: nothing to walk
    p = lib.RespPktGetFirstData(response, length, kind)
    while p != ffi.NULL:
        try:
            yield kind[0], ffi.buffer(p, length[0])[:]
        finally:
            lib.free(p)
        p = lib.RespPktGetNextData(response, length, kind)
