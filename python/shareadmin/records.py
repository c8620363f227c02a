# SPDX-License-Identifier: Apache-2.0
"""The records the binding returns: frozen dataclasses with typed fields. Texts are decoded,
times are ``datetime`` (UTC), durations ``timedelta``."""

from __future__ import annotations

from dataclasses import dataclass, field
from datetime import datetime, timedelta, timezone
from enum import Enum
from typing import Optional

EPOCH = datetime(1970, 1, 1, tzinfo=timezone.utc)


def utc(seconds: int) -> Optional[datetime]:
    """A time in seconds since the epoch as an aware datetime; None for 0 (never / unknown)."""
    return EPOCH + timedelta(seconds=seconds) if seconds else None


class ShareType(Enum):
    """What a share is (the library's volumeType)."""

    VOLUME = 0
    ADMIN = 2
    DIRECTORY = 4
    GDFS = 5
    OTHER = -1

    @classmethod
    def of(cls, code: int) -> "ShareType":
        """The member for a type code; OTHER for a code the library does not derive."""
        try:
            return cls(code)
        except ValueError:
            return cls.OTHER


@dataclass(frozen=True)
class Share:
    """A share or volume (``list_shares()``, ``share()``, ``mapped_shares()``)."""

    name: str
    volume: str
    path: str
    comment: str
    type: ShareType
    max_users: int
    """User limit; 0 for none."""
    encrypt_data: bool
    folder_redirection: bool
    atm_backup: bool
    full_path: str
    """``VOLUME:/path``."""
    mfa: Optional[bool] = None
    """Multi-factor authentication share level (``share()`` only)."""
    clients: Optional[int] = None
    """Clients using the share (``share()`` only)."""
    open_files: Optional[int] = None
    """Files the connection holds open in the share (``mapped_shares()`` only)."""


@dataclass(frozen=True)
class Connection:
    """A client connection as the management library lists it."""

    id: int
    workstation: str
    user: str
    """Distinguished name; empty for a null session."""
    address: str
    dialect: str
    auth: str
    null_session: bool
    signed: bool
    encrypted: bool
    login_time: Optional[datetime]
    idle: timedelta
    bytes_read: int
    bytes_written: int
    open_files: int
    mapped_shares: int


@dataclass(frozen=True)
class ConnectionDetails(Connection):
    """One connection with its security equivalences (``connection()``)."""

    security_equivalences: list[str] = field(default_factory=list)


@dataclass(frozen=True)
class HeldFile:
    """A file a connection holds open (``file_holders()``)."""

    file_id: int
    access: "Access"
    path: str
    """``VOLUME:/dir/file``."""


@dataclass(frozen=True)
class ConnectionFiles(Connection):
    """A connection with the files it holds open (``file_holders()``)."""

    files: list[HeldFile] = field(default_factory=list)


class Access(Enum):
    """How a file is open."""

    READ = 1
    WRITE = 2
    READ_WRITE = 3
    NONE = 0


@dataclass(frozen=True)
class OpenFile:
    """One open file (``open_files()``); can be passed to ``close_file()``."""

    connection: int
    file_id: int
    access: Access
    user: str
    address: str
    path: str
    """``VOLUME:/dir/file``."""
    volume: str
    opened_at: Optional[datetime]


@dataclass(frozen=True)
class OpenFileList:
    """A page of open files and how many matched in all."""

    total: int
    files: list[OpenFile]


@dataclass(frozen=True)
class InvalidUser:
    """An entry of the invalid-user cache."""

    name: str
    permanent: bool
    failed_logons: int
    added_at: Optional[datetime]
    expires_at: Optional[datetime]
    """None for a permanent entry."""


@dataclass(frozen=True)
class InvalidUserList:
    """A page of the invalid-user cache, how many matched, and the cache's time-out."""

    total: int
    timeout: timedelta
    users: list[InvalidUser]


@dataclass(frozen=True)
class NamedAddress:
    """A virtual server name or DNS entry with its IPv4 address ('' for none)."""

    name: str
    address: str


@dataclass(frozen=True)
class ServerConfiguration:
    """The server's configuration dump (``server_configuration()``)."""

    options: dict[str, "int | str"]
    """Every single-value option by its ``set_option()`` name: numbers or texts as stored."""
    caches: dict[str, int]
    invalid_user_timeout: Optional[timedelta]
    virtual_servers: list[NamedAddress]
    dns_entries: list[NamedAddress]
    share_volumes_by_default: dict[str, bool]
    multichannel_interfaces: list[str]
    dfs_referral_cache_minutes: Optional[int]
