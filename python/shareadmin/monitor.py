# SPDX-License-Identifier: Apache-2.0
"""Monitoring through ``libsharemonitor``: connections, one connection, volumes and the open
files of a volume; closing open files."""

from __future__ import annotations

from dataclasses import dataclass
from datetime import datetime, timedelta
from typing import Optional

from ._core import (call, connection_id, cstring, field, invoke, listing, many_records,
                    monitor_exchange, record_struct, text_arg)
from ._native import ffi, lib
from .errors import BadReply
from .records import EPOCH, utc

__all__ = ["MonitoredConnection", "ConnectionInfo", "VolumeFiles", "connections", "connection",
           "volumes", "open_files", "close_file", "close_volume", "close_connection"]


@dataclass(frozen=True)
class MonitoredConnection:
    """A client connection as ``Ext_ListConnDetails`` lists it."""

    id: int
    workstation: str
    user: str
    """Distinguished name; empty for a null session."""
    address: str
    idle: timedelta
    bytes_read: int
    bytes_written: int
    login_time: Optional[datetime]


@dataclass(frozen=True)
class ConnectionInfo:
    """One connection's details (``Ext_GetConnInfo``)."""

    id: int
    workstation: str
    user: str
    address: str
    dialect: str
    auth: str
    login_time: Optional[datetime]
    security_equivalences: list[str]
    open_files: list[str]


@dataclass(frozen=True)
class VolumeFiles:
    """A connection and the files it holds open in one volume (``Ext_ListVolFileDetails``)."""

    connection: int
    user: str
    files: list[str]


# Read in one pass over the flattened list, at the compiler's offsets.
_NODE = record_struct("ConnListNode", [
    ("connectionId", "H"), ("text20", "16s"), ("text36", "256s"), ("text292", "20s"),
    ("value326", "I"), ("value330", "Q"), ("value338", "Q"), ("value12", "Q")])


def connections() -> list[MonitoredConnection]:
    """Every client connection (``Ext_ListConnDetails``)."""
    count, head = ffi.new("int32_t *"), ffi.new("ConnListNode **")
    invoke("monitor connections", lib.Ext_ListConnDetails, count, head)
    if head[0] == ffi.NULL:
        return []
    try:
        nodes = ffi.new("ConnListNode[]", max(count[0], 1))
        n = lib.sa_flatten_connections(head[0], nodes, count[0])
    finally:
        lib.FreeConnListNodes(head)
    out = []
    new, delta, epoch = MonitoredConnection, timedelta, EPOCH
    try:
        with many_records():
            for cid, ws, user, addr, idle, read, written, login in _NODE.iter_unpack(
                    ffi.buffer(nodes, n * _NODE.size)):
                out.append(new(cid, ws.partition(b"\0")[0].decode(),
                               user.partition(b"\0")[0].decode(),
                               addr.partition(b"\0")[0].decode(), delta(seconds=idle), read,
                               written, epoch + delta(seconds=login) if login else None))
    except UnicodeDecodeError as e:
        raise BadReply("monitor connections",
                       f"connection {len(out) + 1} of the list has a text that is not UTF-8: "
                       f"{e.object!r}") from e
    return out


def connection(connection_number: int) -> ConnectionInfo:
    """One connection's details, security equivalences and open files (``Ext_GetConnInfo``)."""
    out = ffi.new("UserDetailsNode **")
    invoke("monitor connection", lib.Ext_GetConnInfo, connection_id(connection_number), out)
    node = out[0]
    if node == ffi.NULL:
        raise BadReply("monitor connection", "the server sent no connection record")
    try:
        cid = node.connectionId
        dns = [cstring(node.secEquivDns[i], "security equivalence")
               for i in range(node.secEquivCount)] if node.secEquivDns != ffi.NULL else []
        files = [cstring(node.openFileNames[i], "open file")
                 for i in range(node.openFileCount)] if node.openFileNames != ffi.NULL else []
        return ConnectionInfo(id=cid, workstation=field(node.text20, "workstation"),
                              user=field(node.text36, "user"),
                              address=field(node.text292, "address"),
                              dialect=field(node.text354, "dialect"),
                              auth=field(node.text386, "authentication"),
                              login_time=utc(node.value12), security_equivalences=dns,
                              open_files=files)
    finally:
        lib.FreeUserDetailsNode(out)


def _nothing(elements: list[tuple[int, bytes]]) -> bool:
    return not elements


def volumes() -> list[str]:
    """Names of every volume and share (``Ext_ListVolumeDetails``)."""
    count, head = ffi.new("int32_t *"), ffi.new("VolsDetailsNode **")

    def attempt() -> tuple[int, str]:
        count[0], head[0] = 0, ffi.NULL
        return call(lib.Ext_ListVolumeDetails, count, head)

    if not listing("monitor volumes", attempt,
                   lambda: monitor_exchange("monitor volumes", lib.CIFS_FN_MON_LIST_VOLUMES,
                                            None), _nothing):
        return []
    try:
        names, node = [], head[0]
        while node != ffi.NULL:
            names.append(field(node.name, "volume name"))
            node = node.next
        return names
    finally:
        lib.FreeVolsDetailsNode(head)


def open_files(volume: str) -> list[VolumeFiles]:
    """The connections holding files open in a volume, with those files
    (``Ext_ListVolFileDetails``); empty when none are open."""
    name = text_arg("volume", volume)
    count, head = ffi.new("int32_t *"), ffi.new("VolFileListNode **")

    def attempt() -> tuple[int, str]:
        count[0], head[0] = 0, ffi.NULL
        return call(lib.Ext_ListVolFileDetails, name, head, count)

    if not listing("monitor open files", attempt,
                   lambda: monitor_exchange("monitor open files", lib.CIFS_FN_MON_VOLUME_FILES,
                                            name), _nothing):
        return []
    try:
        result, node = [], head[0]
        while node != ffi.NULL:
            files = [cstring(node.fileNames[i], "file name") for i in range(node.openFileCount)] \
                if node.fileNames != ffi.NULL else []
            result.append(VolumeFiles(connection=node.connectionId,
                                      user=field(node.text36, "user"), files=files))
            node = node.next
        return result
    finally:
        lib.FreeVolFileListNodes(head)


def close_file(path: str) -> None:
    """Closes an open file by its full path ``VOLUME:/dir/file`` (``Ext_CloseFileByFileName``)."""
    invoke("monitor close file", lib.Ext_CloseFileByFileName, text_arg("path", path))


def close_volume(volume: str) -> None:
    """Closes every open file of a volume (``Ext_CloseFileByVolume``)."""
    invoke("monitor close volume", lib.Ext_CloseFileByVolume, text_arg("volume", volume))


def close_connection(connection_number: int) -> None:
    """Closes every open file of a connection (``Ext_CloseFileByID``)."""
    invoke("monitor close connection", lib.Ext_CloseFileByID, connection_id(connection_number))
