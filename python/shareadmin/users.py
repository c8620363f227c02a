# SPDX-License-Identifier: Apache-2.0
"""The invalid-user cache and user contexts."""

from __future__ import annotations

from datetime import timedelta
from typing import Optional

from . import facts
from ._core import decode, field, int_arg, invoke, run_command, text_arg
from ._native import ffi, lib
from .errors import BadReply
from .records import InvalidUser, InvalidUserList, utc

_PERMANENT_ONLY, _TEMPORARY_ONLY = 0x1, 0x2


def _invalid_user_list(block: bytes) -> InvalidUserList:
    head_size, entry_size = ffi.sizeof("SaInvalidUserHead"), ffi.sizeof("SaInvalidUserEntry")
    if len(block) < head_size:
        raise BadReply("invalid users", "the list is shorter than its head")
    head = ffi.from_buffer("SaInvalidUserHead *", block)
    if head.entryCount > (len(block) - head_size) // entry_size:
        raise BadReply("invalid users", "the list announces more entries than it holds")
    users = []
    for i in range(head.entryCount):
        e = ffi.from_buffer("SaInvalidUserEntry *", block[head_size + i * entry_size:])
        users.append(InvalidUser(name=field(e.name, "invalid user name"),
                                 permanent=e.permanent != 0, failed_logons=e.failedLogons,
                                 added_at=utc(e.addedAt),
                                 expires_at=None if e.permanent else utc(e.expiresAt)))
    return InvalidUserList(total=head.totalMatches, timeout=timedelta(minutes=head.timeoutMinutes),
                           users=users)


def invalid_users(*, permanent: Optional[bool] = None, filter: Optional[str] = None,
                  first: int = 0, limit: int = 0) -> InvalidUserList:
    """A page of the invalid-user cache (``CIFSLIB_ListInvalidUsers``): only permanent or only
    temporary entries when ``permanent`` is given, names containing ``filter`` (any case)."""
    data = b"" if filter is None else text_arg("filter", filter) + b"\0"
    fixed = ffi.sizeof("SaInvalidUserQuery")
    block = ffi.new("char[]", fixed + len(data) + 1)
    query = ffi.cast("SaInvalidUserQuery *", block)
    query.flags = 0 if permanent is None else (_PERMANENT_ONLY if permanent else _TEMPORARY_ONLY)
    query.first = facts.number("entries", "first", first)
    query.maxEntries = facts.number("entries", "limit", limit)
    query.dataLength = len(data)
    ffi.memmove(block + fixed, data, len(data))
    out = ffi.new("void **")
    invoke("invalid users", lib.CIFSLIB_ListInvalidUsers, block, out)
    try:
        return _invalid_user_list(ffi.buffer(out[0], lib.malloc_usable_size(out[0]))[:])
    finally:
        lib.free(out[0])


def invalid_user_cache() -> InvalidUserList:
    """The whole invalid-user cache (the invalid-user cache list command)."""
    elements = run_command("invalid user cache", [(lib.CMD_INVALID_USER_CACHE, None),
                                                  (lib.CIFS_ACT_LIST, None)])
    for kind, payload in elements:
        if kind == lib.CIFS_ELEM_INVALID_USERS:
            return _invalid_user_list(payload)
    raise BadReply("invalid user cache", "the server sent no invalid-user list")


def add_invalid_user(name: str) -> None:
    """Adds a permanent invalid user (``CIFSLIB_AddPermanentInvalidUser``)."""
    invoke("add invalid user", lib.CIFSLIB_AddPermanentInvalidUser, text_arg("user name", name))


def remove_invalid_user(name: str) -> None:
    """Removes a user from the invalid-user cache (``CIFSLIB_RemoveInvalidUser``)."""
    invoke("remove invalid user", lib.CIFSLIB_RemoveInvalidUser, text_arg("user name", name))


def make_invalid_user_permanent(name: str) -> None:
    """Makes a cached invalid user permanent (``CIFSLIB_MakePermanentInvalidUser``)."""
    invoke("make invalid user permanent", lib.CIFSLIB_MakePermanentInvalidUser,
           text_arg("user name", name))


def set_invalid_user_timeout(minutes: int) -> None:
    """Sets the invalid-user cache's time-out (0 to 525600 minutes; the time-out command)."""
    run_command("set invalid user timeout",
                [(lib.CMD_INVALID_USER_CACHE, None),
                 (lib.CIFS_ACT_TIMEOUT, str(int_arg("minutes", minutes, -(2**31), 2**31 - 1)))])


def user_contexts() -> list[str]:
    """The user contexts (``CIFSLIB_ListUserContexts``)."""
    header, data = ffi.new("UserContextHeader **"), ffi.new("void **")
    invoke("user contexts", lib.CIFSLIB_ListUserContexts, header, data)
    if header[0] == ffi.NULL:
        return []
    try:
        block = ffi.buffer(data[0], header[0].dataLength)[:]
    finally:
        lib.free(header[0])
        lib.free(data[0])
    if block and not block.endswith(b"\0"):
        raise BadReply("user contexts", "the last context runs past the end of the data")
    return [decode(t, "user context") for t in block[:-1].split(b"\0")] if block else []


def add_user_context(context: str) -> None:
    """Adds a user context (``CIFSLIB_AddUserContext``)."""
    invoke("add user context", lib.CIFSLIB_AddUserContext, text_arg("user context", context))


def remove_user_context(context: str) -> None:
    """Removes a user context (``CIFSLIB_RemoveUserContext``)."""
    invoke("remove user context", lib.CIFSLIB_RemoveUserContext,
           text_arg("user context", context))
