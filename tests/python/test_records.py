# SPDX-License-Identifier: Apache-2.0
"""Every record field compared with what the command-line tools report for the same state."""

from __future__ import annotations

from collections.abc import Callable
from typing import Any

import pytest

import shareadmin as sa
import shareadmin.monitor as mon
from conftest import response, shareadm, sharemon

ACCESS = {sa.Access.READ: "read", sa.Access.WRITE: "write", sa.Access.READ_WRITE: "read+write",
          sa.Access.NONE: "-"}
TYPE_NAMES = {sa.ShareType.VOLUME: "volume", sa.ShareType.ADMIN: "admin",
              sa.ShareType.DIRECTORY: "directory", sa.ShareType.GDFS: "gdfs"}


def seconds(t: Any) -> int:
    """A time as the tools print it: 0 for "never", which the binding gives as None."""
    if t is None:
        return 0
    assert t.timestamp() != 0, "a time of 0 must be None"
    return int(t.timestamp())


def share(s: sa.Share) -> dict[str, Any]:
    d = {"name": s.name, "volume": s.volume, "path": s.path, "comment": s.comment,
         "type": s.type.value, "type_name": TYPE_NAMES.get(s.type, "other"),
         "max_users": s.max_users, "encrypt_data": s.encrypt_data,
         "folder_redirection": s.folder_redirection, "atm_backup": s.atm_backup,
         "full_path": s.full_path}
    for extra in ("mfa", "clients", "open_files"):
        if getattr(s, extra) is not None:
            d[extra] = getattr(s, extra)
    return d


def connection(c: sa.Connection) -> dict[str, Any]:
    d = {"id": c.id, "workstation": c.workstation, "user": c.user, "address": c.address,
         "dialect": c.dialect, "auth": c.auth, "null_session": c.null_session,
         "signed": c.signed, "encrypted": c.encrypted, "login_time": seconds(c.login_time),
         "idle_seconds": int(c.idle.total_seconds()), "bytes_read": c.bytes_read,
         "bytes_written": c.bytes_written, "open_files": c.open_files,
         "mapped_shares": c.mapped_shares}
    if isinstance(c, sa.ConnectionDetails):
        d["security_equivalences"] = c.security_equivalences
    return d


def holder(c: sa.ConnectionFiles) -> dict[str, Any]:
    return {**connection(c), "files": [{"file_id": f.file_id, "access": ACCESS[f.access],
                                        "path": f.path} for f in c.files]}


def open_file(f: sa.OpenFile) -> dict[str, Any]:
    return {"connection": f.connection, "file_id": f.file_id, "access": ACCESS[f.access],
            "user": f.user, "address": f.address, "path": f.path, "volume": f.volume,
            "opened_at": seconds(f.opened_at)}


def invalid_users(page: sa.InvalidUserList) -> dict[str, Any]:
    return {"timeout_minutes": int(page.timeout.total_seconds()) // 60, "total": page.total,
            "users": [{"name": u.name, "permanent": u.permanent, "failed_logons": u.failed_logons,
                       "added_at": seconds(u.added_at),
                       "expires_at": seconds(u.expires_at)} for u in page.users]}


def without_files(doc: dict[str, Any]) -> dict[str, Any]:
    return {k: v for k, v in plain(doc).items() if k != "files"}


def plain(doc: Any) -> Any:
    """A tool's document without its envelope and the time texts derived from the numbers."""
    if isinstance(doc, dict):
        return {k: plain(v) for k, v in doc.items()
                if k != "schema_version" and not k.endswith("_rfc3339")}
    if isinstance(doc, list):
        return [plain(v) for v in doc]
    return doc


def rows(key: str, *drop: str) -> Callable[[Any], Any]:
    """The rows of a listing document, without the keys the binding's records lack."""
    return lambda d: [{k: v for k, v in r.items() if k not in drop} if isinstance(r, dict) else r
                      for r in plain(d)[key]]


def open_files(d: Any) -> dict[str, Any]:
    return {"total": d["total"], "files": plain(d["open_files"])}


# name: (the binding's answer as the tool's document, the tool's arguments, tool's doc filter)
CASES: dict[str, tuple[Callable[[], Any], tuple[str, ...], Callable[[Any], Any]]] = {
    "share_names": (sa.share_names, ("share", "names"), rows("names")),
    "list_shares": (lambda: [share(s) for s in sa.list_shares()], ("share", "list"),
                    rows("shares", "mfa", "clients")),
    "share": (lambda: share(sa.share("public")), ("share", "show", "public"), plain),
    "connection_count": (lambda: {"count": sa.connection_count()}, ("connections", "count"),
                         plain),
    "connections": (lambda: [connection(c) for c in sa.connections()],
                    ("connections", "list"), rows("connections")),
    "connections_with_files": (lambda: [connection(c) for c in sa.connections(with_files=True)],
                               ("connections", "list", "--with-files"),
                               rows("connections")),
    "connections_null": (lambda: [connection(c) for c in sa.connections(null_sessions=True)],
                         ("connections", "list", "--null-sessions"),
                         rows("connections")),
    "connection": (lambda: connection(sa.connection(3)), ("connections", "show", "3"),
                   without_files),
    "mapped_shares": (lambda: [share(s) for s in sa.mapped_shares(3)],
                      ("connections", "shares", "3"), rows("shares", "mfa", "clients")),
    "open_files": (lambda: {"total": (p := sa.open_files(volume="VOL1")).total,
                            "files": [open_file(f) for f in p.files]},
                   ("files", "list", "--volume", "VOL1"), open_files),
    "open_files_page": (lambda: {"total": (p := sa.open_files(path="VOL2:/home", first=1,
                                                              limit=2, write_only=True)).total,
                                 "files": [open_file(f) for f in p.files]},
                        ("files", "list", "--path", "VOL2:/home", "--first", "1", "--max", "2",
                         "--write-only"), open_files),
    "file_holders": (lambda: [holder(c) for c in sa.file_holders(volume="VOL1")],
                     ("files", "holders", "--volume", "VOL1"), rows("connections")),
    "file_holders_modified": (lambda: [holder(c) for c in sa.file_holders(volume="VOL2",
                                                                         modified=True)],
                              ("files", "holders", "--volume", "VOL2", "--modified"),
                              rows("connections")),
    "file_holders_path": (lambda: [holder(c) for c in sa.file_holders(
                              path=sa.open_files(volume="VOL1").files[0].path)],
                          ("files", "holders", "--path", "VOL1:/public/mike/contract.pdf"),
                          rows("connections")),
    "invalid_users": (lambda: invalid_users(sa.invalid_users(permanent=False, filter="O")),
                      ("invalid-users", "list", "--temporary", "--filter", "O"), plain),
    "invalid_user_cache": (lambda: invalid_users(sa.invalid_user_cache()),
                           ("invalid-users", "cache"), plain),
    "user_contexts": (sa.user_contexts, ("user-contexts", "list"), rows("user_contexts")),
    "server_status": (lambda: {k: v for k, v in sa.server_status().items()
                               if k not in ("uptime", "requests")},
                      ("option", "status"),
                      lambda d: {k: v for k, v in plain(d).items()
                                 if k not in ("uptime", "requests")}),
    "multichannel_interfaces": (sa.multichannel_interfaces,
                                ("option", "multichannel-interface", "list"),
                                rows("multichannel_interfaces")),
}


@pytest.mark.parametrize("name", CASES)
def test_fields_match_shareadm(sim: Any, name: str) -> None:
    ours, args, theirs = CASES[name]
    expected = theirs(shareadm(*args))
    assert ours() == expected


def test_configuration_matches_shareadm(sim: Any) -> None:
    sa.add_virtual_server("VS1", ip="192.0.2.7")
    sa.add_dns_entry("HOST1")
    sa.set_share_volumes_by_default("SRV1", True)
    sa.add_multichannel_interface("eth1")
    sa.set_dfs_referral_cache_duration(42)
    cfg, doc = sa.server_configuration(), shareadm("option", "show")
    assert cfg.caches == doc["caches"]
    assert int(cfg.invalid_user_timeout.total_seconds()) // 60 == doc["invalid_user_timeout"]
    assert [vars(v) for v in cfg.virtual_servers] == doc["virtual_servers"]
    assert [vars(v) for v in cfg.dns_entries] == doc["dns_entries"]
    assert cfg.share_volumes_by_default == doc["share_volumes_by_default"]
    assert cfg.multichannel_interfaces == doc["multichannel_interfaces"]
    assert cfg.dfs_referral_cache_minutes == doc["dfs_referral_cache"]["minutes"]
    assert cfg.options == doc["options"]


def test_monitor_fields_match_sharemon(sim: Any) -> None:
    def both() -> tuple:
        return ([{"id": c.id, "workstation": c.workstation, "user": c.user, "address": c.address,
                  "idle_seconds": int(c.idle.total_seconds()), "bytes_read": c.bytes_read,
                  "bytes_written": c.bytes_written, "login_time": seconds(c.login_time)}
                 for c in mon.connections()], rows("connections")(sharemon("connections")))
    # Idle times are read at two moments: a second may tick over in between, not twice in a row.
    ours, theirs = both()
    if ours != theirs:
        ours, theirs = both()
    assert ours == theirs
    info = mon.connection(3)
    assert {"id": info.id, "workstation": info.workstation, "user": info.user,
            "address": info.address, "dialect": info.dialect, "auth": info.auth,
            "login_time": seconds(info.login_time),
            "security_equivalences": info.security_equivalences,
            "open_files": len(info.open_files),
            "files": [{"path": f} for f in info.open_files]} == plain(sharemon("connection", "3"))
    assert [{"name": v} for v in mon.volumes()] == rows("volumes")(sharemon("volumes"))
    assert [{"connection": v.connection, "user": v.user, "path": f}
            for v in mon.open_files("VOL2") for f in v.files] == \
        rows("open_files")(sharemon("files", "VOL2"))


def test_records_are_frozen(sim: Any) -> None:
    s = sa.list_shares()[0]
    with pytest.raises(AttributeError):
        s.name = "other"  # type: ignore[misc]


@pytest.mark.parametrize("status", list(range(1, 15)))
def test_status_names_match_shareadm(scripted: Any, status: int) -> None:
    # The tool's status table belongs to the stand-in server's formats; ours must not drift.
    scripted(lambda function: response(status))
    doc = shareadm("share", "names")
    with pytest.raises(sa.ServerRefused) as e:
        sa.share_names()
    assert (e.value.status, e.value.status_name) == (doc["status"], doc["status_name"])
    assert str(e.value).endswith(doc["message"])
