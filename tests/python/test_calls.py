# SPDX-License-Identifier: Apache-2.0
"""Every public function once for success and once for each way it fails: refused by the server
(with the status name), rejected by the library (with its own message), server unreachable."""

from __future__ import annotations

import struct
from collections.abc import Callable
from typing import Any

import pytest

import shareadmin as sa
import shareadmin.monitor as mon
from conftest import element, response

Call = Callable[[], Any]

# name: (call, check of its result against the seeded population).
SUCCESS: dict[str, tuple[Call, Callable[[Any], bool]]] = {
    "share_names": (sa.share_names, lambda r: {"VOL1", "public", "home"} <= set(r)),
    "list_shares": (sa.list_shares, lambda r: any(s.name == "projects" for s in r)),
    "share": (lambda: sa.share("public"), lambda r: r.full_path == "VOL1:/public"),
    "create_share": (lambda: sa.create_share("reports", "VOL1:/reports", comment="Q"),
                     lambda r: sa.share("reports").comment == "Q"),
    "create_share_limited": (lambda: sa.create_share("lim", "VOL2:/lim", max_users=4),
                             lambda r: sa.share("lim").max_users == 4),
    "modify_share": (lambda: sa.modify_share("public", new_name="pub", comment="c"),
                     lambda r: sa.share("pub").comment == "c"),
    "modify_share_limit": (lambda: sa.modify_share("public", max_users=9),
                           lambda r: sa.share("public").max_users == 9),
    "set_share_features": (lambda: sa.set_share_features("home", encrypt_data=True),
                           lambda r: sa.share("home").encrypt_data),
    "set_share_mfa": (lambda: sa.set_share_mfa("home", True), lambda r: sa.share("home").mfa),
    "remove_share": (lambda: sa.remove_share("projects"),
                     lambda r: "projects" not in sa.share_names()),
    "connection_count": (sa.connection_count, lambda r: r == 12),
    "connections": (sa.connections, lambda r: len(r) == 12),
    "connections_with_files": (lambda: sa.connections(with_files=True),
                               lambda r: r and all(c.open_files > 0 for c in r)),
    "connections_null": (lambda: sa.connections(null_sessions=True),
                         lambda r: all(c.null_session and c.user == "" for c in r)),
    "connection": (lambda: sa.connection(3), lambda r: r.id == 3 and r.security_equivalences),
    "mapped_shares": (lambda: sa.mapped_shares(1), lambda r: r and r[0].open_files is not None),
    "clear_connections": (lambda: sa.clear_connections(idle_minutes=20),
                          lambda r: sa.connection_count() < 12),
    "open_files": (lambda: sa.open_files(volume="VOL1"), lambda r: r.total == len(r.files) > 0),
    "open_files_page": (lambda: sa.open_files(volume="VOL1", first=1, limit=2),
                        lambda r: len(r.files) == 2 and r.total > 2),
    "file_holders": (lambda: sa.file_holders(volume="VOL2"),
                     lambda r: r and all(f.path.startswith("VOL2:/") for c in r for f in c.files)),
    "file_holders_modified": (lambda: sa.file_holders(connection=3, modified=True),
                              lambda r: [c.id for c in r] == [3]),
    "close_file": (lambda: sa.close_file(sa.open_files(volume="VOL1").files[0]),
                   lambda r: True),
    "close_volume_files": (lambda: sa.close_volume_files("VOL2"),
                           lambda r: sa.open_files(volume="VOL2").total == 0),
    "close_connection_files": (lambda: sa.close_connection_files(3),
                               lambda r: sa.open_files(connection=3).total == 0),
    "invalid_users": (lambda: sa.invalid_users(permanent=True),
                      lambda r: r.users and all(u.permanent for u in r.users)),
    "invalid_user_cache": (sa.invalid_user_cache, lambda r: r.total == 3),
    "add_invalid_user": (lambda: sa.add_invalid_user("mallory"),
                         lambda r: sa.invalid_users(filter="mall").total == 1),
    "remove_invalid_user": (lambda: sa.remove_invalid_user("guest"),
                            lambda r: sa.invalid_users(filter="guest").total == 0),
    "make_invalid_user_permanent": (lambda: sa.make_invalid_user_permanent("olduser"),
                                    lambda r: sa.invalid_users(filter="olduser")
                                    .users[0].permanent),
    "set_invalid_user_timeout": (lambda: sa.set_invalid_user_timeout(45),
                                 lambda r: sa.invalid_users().timeout.seconds == 2700),
    "user_contexts": (sa.user_contexts, lambda r: len(r) == 2),
    "add_user_context": (lambda: sa.add_user_context("ou=new,o=example"),
                         lambda r: "ou=new,o=example" in sa.user_contexts()),
    "remove_user_context": (lambda: sa.remove_user_context(sa.user_contexts()[0]),
                            lambda r: len(sa.user_contexts()) == 1),
    "set_option": (lambda: sa.set_option("smb-signing", "FORCE"),
                   lambda r: sa.server_configuration().options["smb-signing"] == "FORCE"),
    "set_option_bool": (lambda: sa.set_option("leasing", False),
                        lambda r: sa.server_configuration().options["leasing"] == "NO"),
    "set_option_text": (lambda: sa.set_option("dialect", "SMB2"),
                        lambda r: sa.server_configuration().options["dialect"] == "SMB2"),
    "dump_crypto_keys": (lambda: sa.dump_crypto_keys(1), lambda r: True),
    "dump_statistics": (lambda: sa.dump_statistics("FP"), lambda r: True),
    "set_cache": (lambda: sa.set_cache("FILECACHE", 512),
                  lambda r: sa.server_configuration().caches["filecache"] == 512),
    "add_virtual_server": (lambda: sa.add_virtual_server("VS1", ip="192.0.2.9"),
                           lambda r: sa.NamedAddress("VS1", "192.0.2.9")
                           in sa.server_configuration().virtual_servers),
    "remove_virtual_server": (lambda: (sa.add_virtual_server("VS2"),
                                       sa.remove_virtual_server("VS2")),
                              lambda r: not sa.server_configuration().virtual_servers),
    "add_dns_entry": (lambda: sa.add_dns_entry("HOST1", ip="192.0.2.10"),
                      lambda r: sa.server_configuration().dns_entries[0].name == "HOST1"),
    "remove_dns_entry": (lambda: (sa.add_dns_entry("HOST2"), sa.remove_dns_entry("HOST2")),
                         lambda r: not sa.server_configuration().dns_entries),
    "set_share_volumes_by_default": (
        lambda: sa.set_share_volumes_by_default("SRV1", True),
        lambda r: sa.server_configuration().share_volumes_by_default == {"SRV1": True}),
    "user_quota_sync": (lambda: sa.user_quota_sync("VOL1", 5), lambda r: True),
    "user_quota_view": (lambda: sa.user_quota_view("VOL1"), lambda r: True),
    "add_multichannel_interface": (lambda: sa.add_multichannel_interface("eth1"),
                                   lambda r: sa.multichannel_interfaces() == ["eth1"]),
    "remove_multichannel_interface": (lambda: (sa.add_multichannel_interface("eth2"),
                                               sa.remove_multichannel_interface("eth2")),
                                      lambda r: sa.multichannel_interfaces() == []),
    "multichannel_interfaces": (sa.multichannel_interfaces, lambda r: r == []),
    "set_dfs_referral_cache_duration": (
        lambda: sa.set_dfs_referral_cache_duration(30),
        lambda r: sa.server_configuration().dfs_referral_cache_minutes == 30),
    "clear_dfs_referral_cache": (lambda: sa.clear_dfs_referral_cache("ALL"), lambda r: True),
    "server_configuration": (sa.server_configuration,
                             lambda r: set(r.options) == set(sa.OPTION_NAMES)),
    "server_status": (sa.server_status, lambda r: r["server"] == "sharesim"),
    "monitor.connections": (mon.connections, lambda r: len(r) == 12),
    "monitor.connection": (lambda: mon.connection(3), lambda r: r.id == 3 and r.open_files),
    "monitor.volumes": (mon.volumes, lambda r: "VOL2" in r),
    "monitor.open_files": (lambda: mon.open_files("VOL1"), lambda r: r and r[0].files),
    "monitor.close_file": (lambda: mon.close_file(mon.open_files("VOL1")[0].files[0]),
                           lambda r: True),
    "monitor.close_volume": (lambda: mon.close_volume("VOL1"),
                             lambda r: mon.open_files("VOL1") == []),
    "monitor.close_connection": (lambda: mon.close_connection(1),
                                 lambda r: mon.connection(1).open_files == []),
}


@pytest.mark.parametrize("name", SUCCESS)
def test_success(sim: Any, name: str) -> None:
    call, ok = SUCCESS[name]
    assert ok(call())


# call: expected status name, from the stand-in server's own checks.
REFUSED: dict[str, tuple[Call, str]] = {
    "remove_share": (lambda: sa.remove_share("nope"), "no-such-share"),
    "create_share": (lambda: sa.create_share("public", "VOL1:/x"), "name-taken"),
    "create_share_volume": (lambda: sa.create_share("x", "VOL9:/x"), "no-such-volume"),
    "create_share_limited": (lambda: sa.create_share("public", "VOL1:/x", max_users=3),
                             "name-taken"),
    "modify_share": (lambda: sa.modify_share("nope", comment="c"), "no-such-share"),
    "modify_share_limit": (lambda: sa.modify_share("nope", max_users=3), "no-such-share"),
    "set_share_features": (lambda: sa.set_share_features("nope", atm_backup=True),
                           "no-such-share"),
    "set_share_mfa": (lambda: sa.set_share_mfa("nope", True), "no-such-share"),
    "share": (lambda: sa.share("nope"), "no-such-share"),
    "connection": (lambda: sa.connection(999), "no-such-connection"),
    "mapped_shares": (lambda: sa.mapped_shares(999), "no-such-connection"),
    "open_files": (lambda: sa.open_files(volume="VOL9"), "no-such-volume"),
    "open_files_connection": (lambda: sa.open_files(connection=999), "no-such-connection"),
    "file_holders": (lambda: sa.file_holders(path="VOL9:/x"), "no-such-file"),
    "close_file": (lambda: sa.close_file("VOL1:/nope"), "no-such-file"),
    "close_volume_files": (lambda: sa.close_volume_files("VOL9"), "no-such-volume"),
    "close_connection_files": (lambda: sa.close_connection_files(999), "no-such-connection"),
    "remove_invalid_user": (lambda: sa.remove_invalid_user("nobody"), "no-such-user"),
    "make_invalid_user_permanent": (lambda: sa.make_invalid_user_permanent("nobody"),
                                    "no-such-user"),
    "add_invalid_user": (lambda: sa.add_invalid_user("guest"), "name-taken"),
    "add_user_context": (lambda: sa.add_user_context("ou=staff,o=example"), "name-taken"),
    "remove_user_context": (lambda: sa.remove_user_context("ou=none"), "no-such-entry"),
    "remove_virtual_server": (lambda: sa.remove_virtual_server("NOPE"), "no-such-entry"),
    "remove_dns_entry": (lambda: sa.remove_dns_entry("NOPE"), "no-such-entry"),
    "remove_multichannel_interface": (lambda: sa.remove_multichannel_interface("eth9"),
                                      "no-such-entry"),
    "dump_crypto_keys": (lambda: sa.dump_crypto_keys(999), "no-such-connection"),
    "monitor.connection": (lambda: mon.connection(999), "no-such-connection"),
    "monitor.open_files": (lambda: mon.open_files("VOL9"), "no-such-volume"),
    "monitor.close_file": (lambda: mon.close_file("VOL1:/nope"), "no-such-file"),
    "monitor.close_volume": (lambda: mon.close_volume("VOL9"), "no-such-volume"),
    "monitor.close_connection": (lambda: mon.close_connection(999), "no-such-connection"),
}


@pytest.mark.parametrize("name", REFUSED)
def test_refused_by_the_server(sim: Any, name: str) -> None:
    call, status_name = REFUSED[name]
    with pytest.raises(sa.ServerRefused) as e:
        call()
    assert e.value.status_name == status_name
    assert f"status {e.value.status} ({status_name}:" in str(e.value)


# call: the start of the message the library printed for it.
REJECTED: dict[str, tuple[Call, str]] = {
    "set_option": (lambda: sa.set_option("smb-signing", "maybe"),
                   'Failed to process SMB signing option. Invalid parameter value: " maybe "'),
    "set_option_range": (lambda: sa.set_option("oplock-break-ack-timeout", 99),
                         "Failed to set oplock break acknowledgement timeout."),
    "user_quota_sync": (lambda: sa.user_quota_sync("t", 0),
                        "Failed to process user quota sync. Invalid parameter value"),
    "user_quota_view": (lambda: sa.user_quota_view("q" * 70), "Failed to process user quota view"),
    "set_cache": (lambda: sa.set_cache("FILECACHE", -1),
                  "Failed to process cache option. Negative values are not allowed"),
    "set_dfs_referral_cache_duration": (lambda: sa.set_dfs_referral_cache_duration(600000),
                                        "Failed to process dfs referral cache duration."),
    "clear_dfs_referral_cache": (lambda: sa.clear_dfs_referral_cache("nopath"),
                                 "Failed to process dfs referral cache duration."),
    "set_invalid_user_timeout": (lambda: sa.set_invalid_user_timeout(-5),
                                 "Failed to set invalid user timeout period."),
    "clear_connections": (lambda: sa.clear_connections(idle_minutes=1),
                          "Failed to process clear connections related command."),
    "add_virtual_server": (lambda: sa.add_virtual_server("VS1", ip="999.1.1.1"),
                           "Failed to add virtual server name. Wrong IP address"),
    "add_user_context": (lambda: sa.add_user_context("x" * 600),
                         "Failed to add user context as name exceeds"),
    "add_invalid_user": (lambda: sa.add_invalid_user("x" * 300),
                         "Failed to add invalid user details."),
    "remove_share": (lambda: sa.remove_share("x" * 100),
                     "Failed to remove share. Invalid share name entered"),
    "create_share": (lambda: sa.create_share("x" * 100, "VOL1:/x"),
                     "Failed to add share as name exceeds 80 characters long"),
    "create_share_comment": (lambda: sa.create_share("ok", "VOL1:/ok", comment="c" * 60),
                             "Failed to add share as comment exceed 47 characters"),
    "modify_share": (lambda: sa.modify_share("public", new_name="y" * 90),
                     "Failed to modify/update share as new name exceeds 80"),
    "set_share_features": (lambda: sa.set_share_features("y" * 90, atm_backup=True),
                           "Failed to modify/update share as name exceeds 80"),
    "set_option_dialect": (lambda: sa.set_option("dialect", "smb9"),
                           "Failed to process dialect option."),
    "dump_statistics": (lambda: sa.dump_statistics("XX"),
                        "the library could not complete the request"),
}


@pytest.mark.parametrize("name", REJECTED)
def test_rejected_by_the_library(sim: Any, name: str, capfd: pytest.CaptureFixture[str]) -> None:
    call, message = REJECTED[name]
    with pytest.raises(sa.Rejected) as e:
        call()
    assert e.value.message.startswith(message)
    # The library's text went into the exception, not onto the process's standard output.
    assert capfd.readouterr().out == ""


# Every function with arguments that would succeed against the seeded server.
EVERY: dict[str, Call] = {name: call for name, (call, _) in SUCCESS.items()
                          if name not in ("close_file", "monitor.close_file",
                                          "remove_user_context")}
EVERY["remove_user_context"] = lambda: sa.remove_user_context("ou=staff,o=example")
EVERY["close_file"] = lambda: sa.close_file("VOL1:/public/a")
EVERY["monitor.close_file"] = lambda: mon.close_file("VOL1:/public/a")


@pytest.mark.parametrize("name", EVERY)
def test_unreachable(name: str) -> None:
    with pytest.raises(sa.Unreachable) as e:
        EVERY[name]()
    assert "no file server answers on @/tmp/cifs.str" in str(e.value)


# CIFSLIB_GetConnectionsList answers -1 when its count exchange is refused (api.h).
TURNED_INTO_FAILURE = {"connections"}


@pytest.mark.parametrize("name", EVERY)
def test_any_status_is_refused(scripted: Any, name: str) -> None:
    # A server that refuses everything with status 12 (limit-reached), then one with a status
    # outside the table.
    scripted(lambda function: response(12, element(41, b"\0" * 4)))
    if name in TURNED_INTO_FAILURE:
        with pytest.raises(sa.Rejected):
            EVERY[name]()
        return
    with pytest.raises(sa.ServerRefused) as e:
        EVERY[name]()
    assert (e.value.status, e.value.status_name) == (12, "limit-reached")


def test_unknown_status_keeps_its_number(scripted: Any) -> None:
    scripted(lambda function: response(77))
    with pytest.raises(sa.ServerRefused) as e:
        sa.share_names()
    assert (e.value.status, e.value.status_name) == (77, "unknown-status")


# Answers the library cannot use: an element of an unknown type, a response cut short, an
# element longer than the body.
UNUSABLE = {
    "unknown element": lambda function: response(0, element(99, b"\x01")),
    "cut short": lambda function: response(0, element(41, b"\0" * 64))[:9],
    "element past the body": lambda function: (struct.pack("<iII", 0, 1, 16)
                                               + struct.pack("<B3xI", 41, 255) + b"\0" * 8),
}


@pytest.mark.parametrize("answer", UNUSABLE)
@pytest.mark.parametrize("name", EVERY)
def test_unusable_answer_is_a_clear_failure(scripted: Any, name: str, answer: str) -> None:
    # Calls that only need a status may succeed; the others fail with a binding exception.
    scripted(UNUSABLE[answer])
    try:
        EVERY[name]()
    except (sa.Rejected, sa.BadReply):
        pass
