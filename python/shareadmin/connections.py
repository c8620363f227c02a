# SPDX-License-Identifier: Apache-2.0
"""Client connections and open files through the management library."""

from __future__ import annotations

from datetime import timedelta
from typing import Any, Optional, Union

from . import facts
from ._core import (Arg, call, connection_id, decode, int_arg, invoke, listing, many_records,
                    record_struct, run_command, text_arg, text_at)
from ._native import ffi, lib
from .errors import BadReply, Rejected
from .records import (EPOCH, Access, Connection, ConnectionDetails, ConnectionFiles, HeldFile,
                      OpenFile, OpenFileList, Share, utc)
from .shares import _share_info, _share_list

# Server-defined fields in the record's reserved bytes (doc/internals.md, "Server formats").
_FLAG_NULL_SESSION, _FLAG_SIGNED, _FLAG_ENCRYPTED = 0x1, 0x2, 0x4


# The record at the compiler's offsets; flags, files open and mapped shares are server-defined
# fields in its reserved bytes.
_RECORD = record_struct("ConnectionRecord", [
    ("connectionId", "H"), ("reserved2", "H"), ("reserved8", "I"), ("value12", "Q"),
    ("text20", "16s"), ("text36", "256s"), ("text292", "20s"), ("reserved312", "I"),
    ("value326", "I"), ("value330", "Q"), ("value338", "Q"), ("text354", "32s"),
    ("text386", "32s")])


def connection_fields(record: bytes) -> dict[str, Any]:
    """The fields of a Connection from the bytes of a ConnectionRecord."""
    (cid, flags, files, login, workstation, user, address, mapped, idle, read, written, dialect,
     auth) = _RECORD.unpack_from(record)
    return dict(id=cid, workstation=decode(workstation, f"connection {cid} workstation"),
                user=decode(user, f"connection {cid} user"),
                address=decode(address, f"connection {cid} address"),
                dialect=decode(dialect, f"connection {cid} dialect"),
                auth=decode(auth, f"connection {cid} authentication"),
                null_session=bool(flags & _FLAG_NULL_SESSION), signed=bool(flags & _FLAG_SIGNED),
                encrypted=bool(flags & _FLAG_ENCRYPTED),
                login_time=EPOCH + timedelta(seconds=login) if login else None,
                idle=timedelta(seconds=idle), bytes_read=read, bytes_written=written,
                open_files=files, mapped_shares=mapped)


def connection_count() -> int:
    """Number of client connections (``CIFSLIB_GetConnectionsCount``)."""
    out = ffi.new("int32_t *")
    invoke("connection count", lib.CIFSLIB_GetConnectionsCount, out)
    return int(out[0])


def connections(*, with_files: bool = False, null_sessions: bool = False) -> list[Connection]:
    """Every client connection (``CIFSLIB_GetConnectionsList``); only those holding files open,
    or only null sessions, with the connection list commands."""
    if with_files and null_sessions:
        raise ValueError("connections: with_files and null_sessions exclude each other")
    if with_files or null_sessions:
        variant = lib.CIFS_OPT_LIST_VARIANT_8 if with_files else lib.CIFS_OPT_LIST_VARIANT_9
        elements = run_command("connections", [(lib.CMD_CONNECTIONS, None),
                                               (lib.CIFS_ACT_LIST, None), (variant, None)])
        size = lib.CIFS_CONNECTION_RECORD_SIZE
        return [Connection(**connection_fields(p))
                for kind, p in elements if kind == lib.CIFS_ELEM_CONNECTION and len(p) >= size]
    out = ffi.new("ConnectionList **")
    invoke("connections", lib.CIFSLIB_GetConnectionsList, out)
    listing = out[0]
    if listing == ffi.NULL:
        return []
    try:
        records = ffi.buffer(listing.records, listing.count * _RECORD.size)
        # Records that did not arrive are zero (ID 0, which no connection has).
        with many_records():
            return [Connection(**connection_fields(records[at:at + _RECORD.size]))
                    for at in range(0, len(records), _RECORD.size)
                    if records[at:at + 2] != b"\0\0"]
    finally:
        lib.free(listing.records)
        lib.free(listing)


def connection(connection_number: int) -> ConnectionDetails:
    """One connection with its security equivalences (``CIFSLIB_GetConnectionDetails``)."""
    cid = str(connection_id(connection_number)).encode()
    record = ffi.new("ConnectionRecord *")
    ffi.memmove(record, b"\xff" * ffi.sizeof(record[0]), ffi.sizeof(record[0]))
    sev = ffi.new("void **")
    invoke("connection", lib.CIFSLIB_GetConnectionDetails, cid, record, sev)
    try:
        if record.connectionId == 0xFFFF and record.text20[0] == b"\xff":
            raise Rejected("connection", "the server sent no usable connection record")
        fields = connection_fields(ffi.buffer(record)[:])
        dns: list[str] = []
        if sev[0] != ffi.NULL:
            block = ffi.buffer(sev[0], record.secEquivLength)[:]
            at = 0
            for _ in range(record.secEquivCount):
                dns.append(text_at(block, at, "security equivalence"))
                at = block.index(b"\0", at) + 1
        return ConnectionDetails(**fields, security_equivalences=dns)
    finally:
        lib.free(sev[0])


def mapped_shares(connection_number: int) -> list[Share]:
    """The shares one connection has mapped, with the files it holds open in each
    (``CIFSLIB_GetConnectionMappedShares``)."""
    number = str(connection_id(connection_number))
    cid = number.encode()
    out = ffi.new("ShareInfoList **")

    def attempt() -> tuple[int, str]:
        out[0] = ffi.NULL
        return call(lib.CIFSLIB_GetConnectionMappedShares, cid, out)

    def probe() -> list[tuple[int, bytes]]:
        return run_command("mapped shares", [(lib.CMD_CONNECTIONS, None),
                                             (lib.CIFS_ACT_MAPPED_SHARES, number)], whole=True)

    # -1 is also the library's answer for a connection without mapped shares: no element, or
    # a count of 0 first.
    def no_shares(elements: list[tuple[int, bytes]]) -> bool:
        return not elements or (elements[0][0] == lib.CIFS_ELEM_CONNECTION and
                                elements[0][1][:4] == b"\0\0\0\0")

    if not listing("mapped shares", attempt, probe, no_shares):
        return []
    return _share_list(out, mapped=True)


def clear_connections(*, idle_minutes: int, count: Optional[int] = None,
                      null_sessions_only: bool = False) -> None:
    """Drops connections idle for at least ``idle_minutes`` (15 to 65535), at most ``count``
    of them (None: all), only null sessions when asked (the clear-connections command)."""
    idle = int_arg("idle_minutes", idle_minutes, 0, 2**31 - 1)
    limit = "ALL" if count is None else str(int_arg("count", count, 0, 2**31 - 1))
    kind = "NULL" if null_sessions_only else "ALL"
    run_command("clear connections", [(lib.CMD_CLEAR_CONNECTIONS, None),
                                      (lib.CIFS_OPT_CONN_TYPE, kind),
                                      (lib.CIFS_OPT_IDLE_TIME, str(idle)),
                                      (lib.CIFS_OPT_CONN_COUNT, limit)])


# ---- Open files ----

def _one_selector(volume: Optional[str], path: Optional[str], conn: Optional[int]) -> None:
    if (volume is not None) + (path is not None) + (conn is not None) != 1:
        raise ValueError("give exactly one of volume, path and connection")


def _open_files(reply: bytes) -> OpenFileList:
    head_size = ffi.sizeof("SaOpenFilesHead")
    entry_size = ffi.sizeof("SaOpenFileEntry")
    if len(reply) < head_size:
        raise BadReply("open files", "the reply is shorter than its head")
    head = ffi.from_buffer("SaOpenFilesHead *", reply)
    files, at = [], head_size
    for _ in range(head.entryCount):
        e = ffi.from_buffer("SaOpenFileEntry *", reply[at:at + entry_size]) \
            if len(reply) - at >= entry_size else None
        if e is None or not entry_size <= e.entryBytes <= len(reply) - at:
            raise BadReply("open files", "an entry runs past the end of the reply")
        strings = reply[at + entry_size:at + e.entryBytes]
        files.append(OpenFile(connection=e.connectionId, file_id=e.fileId,
                              access=Access(e.accessMode & 3),
                              user=text_at(strings, e.userOffset, "open file user"),
                              address=text_at(strings, e.addressOffset, "open file address"),
                              path=text_at(strings, e.pathOffset, "open file path"),
                              volume=text_at(strings, e.volumeOffset, "open file volume"),
                              opened_at=utc(e.openedAt)))
        at += e.entryBytes
    return OpenFileList(total=head.totalMatches, files=files)


def open_files(*, volume: Optional[str] = None, path: Optional[str] = None,
               connection: Optional[int] = None, write_only: bool = False, first: int = 0,
               limit: int = 0) -> OpenFileList:
    """Open files of a volume, under a path prefix (``VOLUME:/dir``) or of a connection;
    ``first`` skips matches, ``limit`` caps the page (0: all) (``CIFSLIB_ListOpenFiles``)."""
    _one_selector(volume, path, connection)
    strings = b""
    if connection is not None:
        cid, name_offset = connection_id(connection), lib.OPEN_FILES_BY_CONNECTION
    else:
        cid, name_offset = 0, 0
        strings = text_arg("volume or path", volume if volume is not None else path) + b"\0"
    fixed = ffi.sizeof("SaOpenFilesQuery")
    block = ffi.new("char[]", fixed + len(strings) + 1)
    query = ffi.cast("SaOpenFilesQuery *", block)
    query.connectionId, query.nameOffset, query.stringBytes = cid, name_offset, len(strings)
    query.first = facts.number("entries", "first", first)
    query.maxEntries = facts.number("entries", "limit", limit)
    query.flags = 1 if write_only else 0
    ffi.memmove(block + fixed, strings, len(strings))
    request = ffi.cast("OpenFilesRequest *", block)
    out = ffi.new("void **")
    invoke("open files", lib.CIFSLIB_ListOpenFiles, request, out)
    try:
        size = lib.malloc_usable_size(out[0])
        head_total = int.from_bytes(ffi.buffer(out[0], 16)[12:16], "little") if size >= 16 else 0
        return _open_files(ffi.buffer(out[0], min(head_total, size))[:])
    finally:
        lib.free(out[0])


def _connection_files(payload: bytes) -> ConnectionFiles:
    """A connection record followed by its open-file entries (file ID, access mode, path)."""
    r = ffi.from_buffer("ConnectionRecord *", payload)
    at = lib.CIFS_CONNECTION_RECORD_SIZE + r.secEquivLength
    files = []
    for _ in range(r.openFileCount):
        if len(payload) - at < 8:
            raise BadReply("file holders", "an open-file entry runs past its record")
        file_id, mode = int.from_bytes(payload[at:at + 4], "little"), payload[at + 4] & 3
        path = text_at(payload, at + 8, "held file path")
        files.append(HeldFile(file_id=file_id, access=Access(mode), path=path))
        at = payload.index(b"\0", at + 8) + 1
    return ConnectionFiles(**connection_fields(payload), files=files)


def file_holders(*, volume: Optional[str] = None, path: Optional[str] = None,
                 connection: Optional[int] = None,
                 modified: bool = False) -> list[ConnectionFiles]:
    """The connections holding files open in a volume, under a path or of one connection, with
    those files (the files list command; ``modified`` uses the server's modified listing)."""
    _one_selector(volume, path, connection)
    args: list[Arg] = [(lib.CMD_FILES, None), (lib.CIFS_ACT_LIST, None)]
    if modified:
        args.append((lib.CIFS_OPT_LIST_MODIFIER, None))
    if connection is not None:
        args.append((lib.CIFS_OPT_CONNECTION_ID, str(connection_id(connection))))
    elif volume is not None:
        args.append((lib.CIFS_OPT_VOLUME, text_arg("volume", volume).decode()))
    else:
        args.append((lib.CIFS_OPT_PATH, text_arg("path", path).decode()))
    elements = run_command("file holders", args)
    size = lib.CIFS_CONNECTION_RECORD_SIZE
    return [_connection_files(p) for kind, p in elements
            if kind == lib.CIFS_ELEM_CONNECTION and len(p) >= size]


def close_file(file: Union[str, OpenFile]) -> None:
    """Closes an open file by its full path ``VOLUME:/dir/file`` (``CIFSLIB_CloseOpenFile``)."""
    path = file.path if isinstance(file, OpenFile) else file
    text = text_arg("path", path) + b"\0"
    fixed = lib.OPEN_FILE_INFO_FIXED_SIZE
    block = ffi.new("char[]", fixed + len(text))
    ffi.memmove(block + fixed, text, len(text))
    info = ffi.cast("OpenFileInfo *", block)
    info.pathOffset = 0
    invoke("close file", lib.CIFSLIB_CloseOpenFile, info)


def close_volume_files(volume: str) -> None:
    """Closes every open file of a volume (``CIFSLIB_CloseAllOpenFiles``)."""
    block, info = _share_info("", volume=text_arg("volume", volume).decode())
    invoke("close volume files", lib.CIFSLIB_CloseAllOpenFiles, info)
    del block


def close_connection_files(connection_number: int) -> None:
    """Closes every open file of a connection (the files close command)."""
    run_command("close connection files", [(lib.CMD_FILES, None), (lib.CIFS_ACT_CLOSE, None),
                                           (lib.CIFS_OPT_CONNECTION_ID,
                                            str(connection_id(connection_number)))])
