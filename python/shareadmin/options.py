# SPDX-License-Identifier: Apache-2.0
"""Server options: each single-value option by the name the shareadm tool gives it, the options
with more than one value, and the server's configuration dump and status."""

from __future__ import annotations

import ipaddress
from datetime import timedelta
from typing import Optional, Union

from ._core import Arg, connection_id, decode, field, int_arg, run_command, text_arg, yes_no
from ._native import ffi, lib
from .facts import FACTS, Option
from .records import NamedAddress, ServerConfiguration

# Command and element names in codes.h are the option's name in capitals, except these.
_COMMAND_NAMES = {"dos-filenames": "DOS_FILENAME", "zero-copy": "ZEROCOPY"}
_ELEMENT_NAMES = {"dos-filenames": "DOS_FILENAME", "zero-copy": "ZEROCOPY",
                  "dump-crypto-keys": "CRYPTO_KEYS"}


def _code_name(name: str, exceptions: dict[str, str]) -> str:
    return exceptions.get(name, name.upper().replace("-", "_"))


# name: (command, element type of the configuration dump), for every option the tools know.
_OPTIONS: dict[str, tuple[int, int]] = {
    name: (getattr(lib, "CMD_" + _code_name(name, _COMMAND_NAMES)),
           getattr(lib, "CIFS_ELEM_" + _code_name(name, _ELEMENT_NAMES)))
    for name in FACTS.options}

OPTION_NAMES: tuple[str, ...] = tuple(_OPTIONS)
"""Names ``set_option()`` accepts."""

OptionValue = Union[str, int, bool]


def _value_text(value: OptionValue) -> str:
    if isinstance(value, bool):
        return yes_no("value", value)
    if isinstance(value, int):
        return str(value)
    return text_arg("value", value, allow_empty=True).decode()


def set_option(name: str, value: OptionValue) -> None:
    """Sets one server option by name (``"smb-signing"``, ``"dialect"``, ... see
    ``OPTION_NAMES``). ``value`` is the word the option takes (``"FORCE"``), a number, or a
    bool for ``YES``/``NO``; the library validates it."""
    if not isinstance(name, str):
        raise TypeError(f"option name must be str, not {type(name).__name__}")
    if name not in _OPTIONS:
        raise ValueError(f"unknown server option {name!r}")
    code = _OPTIONS[name][0]
    args: list[Arg] = [(code, _value_text(value))]
    if code == lib.CMD_DUMP_CRYPTO_KEYS:
        args = [(code, None), (lib.CIFS_OPT_CRYPTO_KEYS_SWITCH, _value_text(value))]
    run_command(f"set option {name}", args)


def dump_crypto_keys(connection: int) -> None:
    """Has the server dump the crypto keys of one connection."""
    run_command("dump crypto keys", [(lib.CMD_DUMP_CRYPTO_KEYS, None),
                                     (lib.CIFS_OPT_CONNECTION_ID, str(connection_id(connection)))])


def dump_statistics(what: str) -> None:
    """Has the server dump statistics: ``"DC"``, ``"FP"``, ``"FH"`` or ``"T"``."""
    run_command("dump statistics", [(lib.CMD_DUMP_STATISTICS, text_arg("what", what).decode())])


def set_cache(kind: str, size: int) -> None:
    """Sets a cache size: ``kind`` is ``"SDIRCACHE"``, ``"DIRCACHE"`` or ``"FILECACHE"``."""
    int_arg("size", size, -(2**31), 2**31 - 1)
    run_command("set cache", [(lib.CMD_CACHE, f"{text_arg('kind', kind).decode()}={size}")])


def _named(action: str, verb: int, option: int, name: str, ip: Optional[str]) -> None:
    args: list[Arg] = [(verb, None), (option, text_arg("name", name).decode())]
    if ip is not None:
        args.append((lib.CIFS_OPT_IP_ADDRESS, text_arg("ip", ip).decode()))
    run_command(action, args)


def add_virtual_server(name: str, ip: Optional[str] = None) -> None:
    """Adds a virtual server name, with an IPv4 address when given."""
    _named("add virtual server", lib.CMD_ADD, lib.CIFS_OPT_SERVER, name, ip)


def remove_virtual_server(name: str, ip: Optional[str] = None) -> None:
    """Removes a virtual server name."""
    _named("remove virtual server", lib.CMD_REMOVE, lib.CIFS_OPT_SERVER, name, ip)


def add_dns_entry(name: str, ip: Optional[str] = None) -> None:
    """Adds a DNS entry, with an IPv4 address when given."""
    _named("add dns entry", lib.CMD_ADD, lib.CIFS_OPT_DNS_ENTRY, name, ip)


def remove_dns_entry(name: str, ip: Optional[str] = None) -> None:
    """Removes a DNS entry."""
    _named("remove dns entry", lib.CMD_REMOVE, lib.CIFS_OPT_DNS_ENTRY, name, ip)


def set_share_volumes_by_default(server: str, enabled: bool) -> None:
    """Whether a server's volumes are shared by default."""
    run_command("set share volumes by default",
                [(lib.CMD_SHARE_VOLUMES_BY_DEFAULT, text_arg("server", server).decode()),
                 (lib.CIFS_OPT_SHARE_BY_DEFAULT, yes_no("enabled", enabled))])


def user_quota_sync(target: str, value: Optional[int] = None) -> None:
    """Requests a user quota synchronisation of a target (with a value of at least 1)."""
    args: list[Arg] = [(lib.CMD_USER_QUOTA_SYNC, text_arg("target", target).decode())]
    if value is not None:
        args.append((lib.CIFS_OPT_QUOTA_SYNC_VALUE,
                     str(int_arg("value", value, -(2**31), 2**31 - 1))))
    run_command("user quota sync", args)


def user_quota_view(target: str) -> None:
    """Requests the user quota view of a target."""
    run_command("user quota view", [(lib.CMD_USER_QUOTA_VIEW, text_arg("target", target).decode())])


def add_multichannel_interface(name: str) -> None:
    """Adds a multichannel interface (up to 15 characters)."""
    run_command("add multichannel interface",
                [(lib.CMD_MULTICHANNEL_INTERFACE, None), (lib.CIFS_ACT_ADD, None),
                 (lib.CIFS_OPT_INTERFACE, text_arg("interface", name).decode())])


def remove_multichannel_interface(name: str) -> None:
    """Removes a multichannel interface."""
    run_command("remove multichannel interface",
                [(lib.CMD_MULTICHANNEL_INTERFACE, None), (lib.CIFS_ACT_REMOVE, None),
                 (lib.CIFS_OPT_INTERFACE, text_arg("interface", name).decode())])


def multichannel_interfaces() -> list[str]:
    """The multichannel interfaces."""
    elements = run_command("multichannel interfaces", [(lib.CMD_MULTICHANNEL_INTERFACE, None),
                                                       (lib.CIFS_ACT_LIST, None)])
    return [decode(p, "interface") for kind, p in elements if kind == lib.CIFS_ELEM_INTERFACE]


def set_dfs_referral_cache_duration(minutes: int) -> None:
    """Sets the DFS referral cache duration (0 to 525600 minutes)."""
    run_command("set dfs referral cache duration",
                [(lib.CMD_DFS_REFERRAL_CACHE_DURATION,
                  str(int_arg("minutes", minutes, -(2**31), 2**31 - 1)))])


def clear_dfs_referral_cache(path: str = "ALL") -> None:
    """Clears the DFS referral cache: ``"ALL"`` or one junction ``VOLUME:/path``."""
    run_command("clear dfs referral cache", [(lib.CMD_DFS_REFERRAL_CACHE_DURATION, "CLEAR"),
                                             (lib.CIFS_OPT_PATH, text_arg("path", path).decode())])


def _option_value(option: Option, payload: bytes) -> Union[int, str]:
    """A stored value in the form its setter takes, as the tools show it: the keyword that
    stands for a number (numeric keywords stay numbers), the number, or the text."""
    if option.kind == "u8":
        n = payload[0] if payload else 0
    elif option.kind == "i32":
        n = int.from_bytes(payload[:4], "little", signed=True) if len(payload) >= 4 else 0
    else:
        return decode(payload, f"option {option.name}")
    word = option.keyword_for(n)
    return word if word is not None and not word[:1].isdigit() else n


def _address(raw: bytes) -> str:
    return "" if raw == b"\0\0\0\0" else str(ipaddress.IPv4Address(raw))


def server_configuration() -> ServerConfiguration:
    """Every server option and setting, from the server's configuration dump."""
    by_element = {elem: name for name, (_, elem) in _OPTIONS.items()}
    elements = run_command("server configuration", [(lib.CMD_SERVER_REQUEST_4, None)])
    options: dict[str, Union[int, str]] = {}
    caches: dict[str, int] = {}
    vservers, dns, interfaces = [], [], []
    by_default: dict[str, bool] = {}
    timeout: Optional[timedelta] = None
    dfs: Optional[int] = None
    kinds = {1: "sdircache", 2: "dircache", 3: "filecache"}
    for kind, p in elements:
        if kind in by_element:
            options[by_element[kind]] = _option_value(FACTS.options[by_element[kind]], p)
        elif kind == lib.CIFS_ELEM_CACHE and len(p) >= ffi.sizeof("CacheParams"):
            c = ffi.from_buffer("CacheParams *", p)
            if c.cacheKind in kinds:
                caches[kinds[c.cacheKind]] = c.cacheValue
        elif kind == lib.CIFS_ELEM_INVALID_USER_TIMEOUT and len(p) >= 4:
            timeout = timedelta(minutes=int.from_bytes(p[:4], "little", signed=True))
        elif kind == lib.CIFS_ELEM_VIRTUAL_SERVER and len(p) >= ffi.sizeof("VirtualServerParams"):
            v = ffi.from_buffer("VirtualServerParams *", p)
            vservers.append(NamedAddress(field(v.serverName, "virtual server"),
                                         _address(bytes(v.ipAddress))))
        elif kind == lib.CIFS_ELEM_DNS_ENTRY and len(p) >= ffi.sizeof("DnsEntryParams"):
            d = ffi.from_buffer("DnsEntryParams *", p)
            dns.append(NamedAddress(field(d.netbiosName, "dns entry"),
                                    _address(bytes(d.ipAddress))))
        elif kind == lib.CIFS_ELEM_SERVER_NAME and len(p) >= ffi.sizeof("ShareVolumesParams"):
            s = ffi.from_buffer("ShareVolumesParams *", p)
            by_default[field(s.serverName, "server name")] = s.shareByDefault != 0
        elif kind == lib.CIFS_ELEM_INTERFACE:
            interfaces.append(decode(p, "interface"))
        elif kind == lib.CIFS_ELEM_DFS_REFERRAL_CACHE and \
                len(p) >= ffi.sizeof("DfsReferralCacheParams"):
            dfs = ffi.from_buffer("DfsReferralCacheParams *", p).durationMinutes
    return ServerConfiguration(options=options, caches=caches, invalid_user_timeout=timeout,
                               virtual_servers=vservers, dns_entries=dns,
                               share_volumes_by_default=by_default,
                               multichannel_interfaces=interfaces,
                               dfs_referral_cache_minutes=dfs)


def server_status() -> dict[str, Union[int, str]]:
    """The server's status text as ``key: value`` pairs (numbers converted)."""
    elements = run_command("server status", [(lib.CMD_SERVER_REQUEST_40, None)])
    status: dict[str, Union[int, str]] = {}
    for kind, p in elements:
        if kind == lib.CIFS_ELEM_SERVER_STATUS:
            for pair in decode(p, "server status").split():
                key, sep, value = pair.partition("=")
                if sep:
                    status[key] = int(value) if value.isdigit() else value
    return status
