# SPDX-License-Identifier: Apache-2.0
"""Who the binding talks to: by default a server run by root or the caller, as the tools; a
squatter gets nothing and every call says who holds the endpoint; an empty answer is told apart
from a failure."""

from __future__ import annotations

import os
from typing import Any, Optional

import pytest

import shareadmin as sa
import shareadmin.monitor as mon
from conftest import element, response
from shareadmin._native import lib
from test_calls import EVERY, UNUSABLE


@pytest.mark.parametrize("name", EVERY)
def test_a_squatter_is_named_by_every_call(squatter: Any, server_uids: None, name: str) -> None:
    os.environ["SHAREADMIN_SERVER_UIDS"] = "0"
    with pytest.raises(sa.UnexpectedServer) as e:
        EVERY[name]()
    assert (e.value.uid, e.value.pid, e.value.accepted) == (65534, squatter.proc.pid, (0,))
    assert isinstance(e.value, sa.Unreachable)
    assert f"uid 65534 (pid {squatter.proc.pid}), not one of the accepted uids 0" in str(e.value)


# uids set through the package (None: no check) or the variable: whether the squatter is served.
ACCEPTING: list[tuple[Optional[list[int]], Optional[str], bool]] = [
    (None, None, False),         # the import's default: root and the caller (root here)
    ([65534], None, True),
    ([0, 65534], None, True),
    ([0], None, False),
    (None, "65534", True),
    (None, "0,65534", True),
    (None, "0", False),
]


@pytest.mark.parametrize("uids,variable,served", ACCEPTING)
def test_accepted_uids(squatter: Any, server_uids: None, uids: Optional[list[int]],
                       variable: Optional[str], served: bool) -> None:
    if variable is not None:
        os.environ["SHAREADMIN_SERVER_UIDS"] = variable
    elif uids is not None:
        sa.set_server_uids(uids)
    else:
        assert sa.server_uids() == (0,)
    if served:
        assert "VOL1" in sa.share_names() and mon.volumes()
    else:
        with pytest.raises(sa.UnexpectedServer):
            mon.volumes()


def test_any_server(squatter: Any, server_uids: None) -> None:
    sa.set_server_uids(None)
    assert sa.server_uids() is None and "VOL1" in sa.share_names()


@pytest.mark.parametrize("variable", ["x,1", "0,", "-1", "+5", "4294967295", "0,99999999999"])
def test_a_malformed_list_fails_every_call(sim: Any, server_uids: None, variable: str) -> None:
    # The libraries refuse every exchange; the binding says why, quoting the value.
    os.environ["SHAREADMIN_SERVER_UIDS"] = variable
    for call in (sa.share_names, mon.volumes, lambda: sa.mapped_shares(1)):
        with pytest.raises(sa.Rejected) as e:
            call()
        assert f'SHAREADMIN_SERVER_UIDS="{variable}" is not a comma-separated list' in str(e.value)
    with pytest.raises(ValueError):
        sa.server_uids()


@pytest.mark.parametrize("uids,error", [([4294967295], ValueError), ([-1], ValueError),
                                        ([], ValueError), (["0"], TypeError), ([True], TypeError)])
def test_impossible_uids(server_uids: None, uids: list[Any], error: type) -> None:
    with pytest.raises(error):
        sa.set_server_uids(uids)
    assert sa.server_uids() == (0,)


# Listings whose library call answers -1 both for "nothing" and for a failure.
LISTINGS = {"monitor.volumes": mon.volumes, "monitor.open_files": lambda: mon.open_files("VOL1"),
            "mapped_shares": lambda: sa.mapped_shares(1)}
# Answers that mean "nothing to list", and answers that are failures.
EMPTY = [("monitor.volumes", response(0)), ("monitor.open_files", response(0)),
         ("mapped_shares", response(0)),
         ("mapped_shares", response(0, element(lib.CIFS_ELEM_CONNECTION, b"\0" * 4)))]
BROKEN = {"cut short": UNUSABLE["cut short"],
          "element past the body": UNUSABLE["element past the body"],
          "closed": lambda function: b""}


@pytest.mark.parametrize("answer", BROKEN)
@pytest.mark.parametrize("name", LISTINGS)
def test_a_failed_listing_is_never_empty(scripted: Any, name: str, answer: str) -> None:
    scripted(BROKEN[answer])
    with pytest.raises((sa.Rejected, sa.BadReply)):
        LISTINGS[name]()


@pytest.mark.parametrize("name,answer", EMPTY)
def test_an_empty_listing_is_empty(scripted: Any, name: str, answer: bytes) -> None:
    scripted(lambda function: answer)
    assert LISTINGS[name]() == []
