# SPDX-License-Identifier: Apache-2.0
"""Bad input from the caller or the server gives a clear exception, never a crash, and repeated
calls keep memory flat."""

from __future__ import annotations

import ctypes
import gc
import struct
from collections.abc import Callable
from typing import Any

import pytest

import shareadmin as sa
import shareadmin.monitor as mon
from conftest import element, response
from shareadmin._native import ffi

# call: the exception it raises before anything is sent.
BAD_INPUT: dict[str, tuple[Callable[[], Any], type[Exception]]] = {
    "name None": (lambda: sa.share(None), TypeError),  # type: ignore[arg-type]
    "name int": (lambda: sa.remove_share(5), TypeError),  # type: ignore[arg-type]
    "name bytes": (lambda: mon.open_files(b"VOL1"), TypeError),  # type: ignore[arg-type]
    "name with NUL": (lambda: sa.create_share("a\0b", "VOL1:/x"), ValueError),
    "empty context": (lambda: sa.add_user_context(""), ValueError),
    "id text": (lambda: sa.connection("3"), TypeError),  # type: ignore[arg-type]
    "id bool": (lambda: mon.close_connection(True), TypeError),
    "id negative": (lambda: sa.mapped_shares(-1), ValueError),
    "id too large": (lambda: mon.connection(65536), ValueError),
    "id float": (lambda: sa.dump_crypto_keys(1.0), TypeError),  # type: ignore[arg-type]
    "switch text": (lambda: sa.create_share("x", "VOL1:/x", encrypt_data="yes"),  # type: ignore
                    TypeError),
    "switch None": (lambda: sa.set_share_mfa("home", None), TypeError),  # type: ignore
    "unknown option": (lambda: sa.set_option("colour", "blue"), ValueError),
    "option value None": (lambda: sa.set_option("sync", None), TypeError),  # type: ignore
    "no selector": (lambda: sa.open_files(), ValueError),
    "two selectors": (lambda: sa.open_files(volume="VOL1", connection=1), ValueError),
    "nothing to change": (lambda: sa.modify_share("public"), ValueError),
    "no switch": (lambda: sa.set_share_features("public"), ValueError),
    "exclusive lists": (lambda: sa.connections(with_files=True, null_sessions=True), ValueError),
    "negative page": (lambda: sa.invalid_users(first=-1), ValueError),
    "limit too large": (lambda: sa.open_files(volume="VOL1", limit=2**32), ValueError),
}


@pytest.mark.parametrize("name", BAD_INPUT)
def test_bad_input(name: str) -> None:
    call, kind = BAD_INPUT[name]
    with pytest.raises(kind):
        call()


OVERLONG: dict[str, Callable[[], Any]] = {
    "share": lambda: sa.share("s" * 5000),
    "monitor open files": lambda: mon.open_files("V" * 5000),
    "close file": lambda: sa.close_file("VOL1:/" + "f" * 70000),
    "monitor close file": lambda: mon.close_file("VOL1:/" + "f" * 70000),
    "invalid user": lambda: sa.add_invalid_user("u" * 70000),
    "option value": lambda: sa.set_option("dns-suffix", "d" * 5000),
}


@pytest.mark.parametrize("name", OVERLONG)
def test_overlong_text_is_a_clear_failure(sim: Any, name: str) -> None:
    with pytest.raises(sa.ShareAdminError):
        OVERLONG[name]()


def connection_record(workstation: bytes) -> bytes:
    r = ffi.new("ConnectionRecord *")
    r.connectionId = 1
    r.text20 = workstation
    return bytes(ffi.buffer(r))


NOT_UTF8 = b"WS-\xff\xfe"
# call: the answer to each function ID it uses, and a word the BadReply names.
BAD_TEXT: dict[str, tuple[Callable[[], Any], Callable[[int], bytes], str]] = {
    "share names": (sa.share_names, lambda f: response(0, element(1, NOT_UTF8 + b"\0")),
                    "share name"),
    "monitor volumes": (mon.volumes, lambda f: response(0, element(1, NOT_UTF8 + b"\0")),
                        "volume name"),
    "monitor connections": (mon.connections,
                            lambda f: response(0, element(41, connection_record(NOT_UTF8))),
                            "not UTF-8"),
    "connections": (sa.connections,
                    lambda f: response(0, element(41, struct.pack("<i", 1))) if f == 25
                    else response(0, element(41, connection_record(NOT_UTF8))), "workstation"),
    "user contexts": (sa.user_contexts,
                      lambda f: response(0, element(28, struct.pack("<II", 1, 6)
                                                    + b"ou=\xff\xfe\0")),
                      "user context"),
}


@pytest.mark.parametrize("name", BAD_TEXT)
def test_text_that_is_not_utf8(scripted: Any, name: str) -> None:
    call, answer, word = BAD_TEXT[name]
    scripted(answer)
    with pytest.raises(sa.BadReply) as e:
        call()
    assert word in str(e.value)


def test_short_open_files_reply(scripted: Any) -> None:
    scripted(lambda f: response(0, element(77, b"\1\0\0\0")))
    with pytest.raises(sa.BadReply):
        sa.open_files(volume="VOL1")


def rss_kib() -> int:
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS")


def heap_in_use() -> int:
    class MallInfo2(ctypes.Structure):
        _fields_ = [(n, ctypes.c_size_t) for n in ("arena", "ordblks", "smblks", "hblks",
                                                   "hblkhd", "usmblks", "fsmblks", "uordblks",
                                                   "fordblks", "keepcost")]

    fn = ctypes.CDLL(None).mallinfo2
    fn.restype = MallInfo2
    info = fn()
    return info.uordblks + info.hblkhd


def test_memory_is_stable_over_ten_thousand_calls(sim: Any) -> None:
    def rejected() -> None:
        with pytest.raises(sa.Rejected):
            sa.set_option("smb-signing", "maybe")

    calls = [sa.share_names, sa.list_shares, sa.connection_count, mon.connections, mon.volumes,
             lambda: sa.connection(3), lambda: mon.connection(3), sa.invalid_users,
             sa.user_contexts, lambda: sa.open_files(volume="VOL1"), lambda: sa.share("home"),
             rejected]

    def run(n: int) -> None:
        for i in range(n):
            calls[i % len(calls)]()

    run(1200)  # warm-up: caches, allocator arenas
    gc.collect()
    rss, heap = rss_kib(), heap_in_use()
    run(10_000)
    gc.collect()
    # A leak of one small block per call would add at least 10,000 x 16 bytes to the heap.
    assert heap_in_use() - heap < 96 * 1024
    assert rss_kib() - rss < 1024


def test_listing_leaves_the_collector_as_it_was(sim: Any) -> None:
    for enabled in (True, False):
        gc.enable() if enabled else gc.disable()
        try:
            assert len(mon.connections()) == len(sa.connections()) == 12
            assert gc.isenabled() == enabled
        finally:
            gc.enable()
