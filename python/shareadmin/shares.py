# SPDX-License-Identifier: Apache-2.0
"""Shares and volumes: names, listing, details, creation, change, switches and removal."""

from __future__ import annotations

from typing import Any, Optional

from . import _core, facts
from ._core import Arg, call, check, decode, field, invoke, run_command, text_arg, yes_no
from ._native import ffi, lib
from .errors import Rejected
from .records import Share, ShareType

_FIXED = lib.SHARE_INFO_FIXED_SIZE


def share_from_info(info: Any, *, mapped: bool = False) -> Share:
    """A Share from a ShareInfo record of the library."""
    strings = ffi.buffer(ffi.cast("char *", info) + _FIXED, info.stringBytes)[:]

    def text(offset: int, what: str) -> str:
        return decode(strings[offset:], f"share {what}") if offset < len(strings) else ""

    return Share(name=text(info.nameOffset, "name"), volume=text(info.volumeOffset, "volume"),
                 path=text(info.pathOffset, "path"), comment=text(info.commentOffset, "comment"),
                 type=ShareType.of(info.volumeType), max_users=info.shareValue,
                 encrypt_data=info.encryptData != 0,
                 folder_redirection=info.folderRedirection != 0, atm_backup=info.atmBackup != 0,
                 full_path=text(info.auxTextOffset, "full path"),
                 open_files=info.mappedValue if mapped else None)


# The server flags a volume of a global DFS namespace with this bit of the record's mask.
_GDFS_FLAG = 0x02


def _derived_type(code: int, name: str, volume: str, mask: int) -> ShareType:
    """The type of a share record as the library derives it for its share list: the server's
    code, or for code 0 a directory share, the administrative volume, a flagged volume or a
    plain volume."""
    if code == 0:
        if name != volume:
            code = lib.SHARE_TYPE_DIRECTORY
        elif name.encode().lower() in (b"_admin", b"admin"):  # ASCII case only, as strcasecmp
            code = lib.SHARE_TYPE_ADMIN
        elif mask & _GDFS_FLAG:
            code = lib.STYPE_GDFS
    return ShareType.of(code)


def _share_from_record(payload: bytes, clients: Optional[int]) -> Share:
    r = ffi.from_buffer("ShareParams *", payload)
    name, volume = field(r.shareName, "share name"), field(r.volumeName, "share volume")
    return Share(name=name, volume=volume, path=field(r.sharePath, "share path"),
                 comment=field(r.comment, "share comment"),
                 type=_derived_type(r.volumeType & 0xFFFF, name, volume, r.modifyMask),
                 max_users=r.serverValue, encrypt_data=r.encryptData != 0,
                 folder_redirection=r.folderRedirection != 0, atm_backup=r.atmBackup != 0,
                 full_path=field(r.auxText, "share full path"), mfa=r.mfaShareLevel != 0,
                 clients=clients)


def share_names() -> list[str]:
    """Names of every share and volume (``CIFSLIB_GetShareNames``)."""
    out = ffi.new("ShareNameList **")
    invoke("share names", lib.CIFSLIB_GetShareNames, out)
    names = out[0]
    if names == ffi.NULL:
        return []
    try:
        return [field(ffi.cast(f"char[{lib.SHARE_NAME_SLOT_SIZE}]", lib.sa_share_name(names, i)),
                      "share name") for i in range(names.count)]
    finally:
        lib.free(names)


def _share_list(out: Any, mapped: bool = False) -> list[Share]:
    shares = out[0]
    if shares == ffi.NULL:
        return []
    try:
        return [share_from_info(lib.sa_share_entry(shares, i), mapped=mapped)
                for i in range(shares.count)]
    finally:
        lib.sa_release_share_list(shares)


def list_shares() -> list[Share]:
    """Every share and volume with its settings (``CIFSLIB_ListAllShares``)."""
    out = ffi.new("ShareInfoList **")
    invoke("list shares", lib.CIFSLIB_ListAllShares, out)
    return _share_list(out)


def share(name: str) -> Share:
    """One share or volume, with its MFA level and client count (the share list command)."""
    text_arg("share name", name)
    elements = run_command("share", [(lib.CMD_SHARE, None), (lib.CIFS_ACT_LIST, None),
                                     (lib.CIFS_OPT_NAME, name)])
    record, clients = None, None
    for kind, payload in elements:
        if kind == lib.CIFS_ELEM_SHARE_RECORD and record is None and \
                len(payload) >= ffi.sizeof("ShareParams"):
            record = payload
        elif kind == lib.CIFS_ELEM_SHARE_EXTRA:
            text = decode(payload, "share extra text")
            if text.startswith("clients=") and text[8:].isdigit():
                clients = int(text[8:])
    if record is None:
        raise Rejected("share", "the server sent no share record")
    return _share_from_record(record, clients)


def _split_location(path: str) -> tuple[str, str]:
    volume, sep, rest = path.partition(":")
    return (volume, rest) if sep else ("", path)


def _share_info(name: str, *, volume: str = "", path: str = "", comment: Optional[str] = None,
                new_name: str = "", switches: tuple[bool, bool, bool] = (False, False, False),
                mask: int = 0) -> Any:
    """A ShareInfo record built by the caller, with its string area."""
    texts = [name, volume, path, comment or "", new_name]
    blobs = [text_arg("share text", t, allow_empty=True) + b"\0" for t in texts]
    offsets, at = [], 0
    for b in blobs:
        offsets.append(at)
        at += len(b)
    block = ffi.new("char[]", _FIXED + at)
    ffi.memmove(block + _FIXED, b"".join(blobs), at)
    info = ffi.cast("ShareInfo *", block)
    info.nameOffset, info.volumeOffset, info.pathOffset = offsets[0], offsets[1], offsets[2]
    info.commentOffset = lib.SHARE_INFO_NO_COMMENT if comment is None else offsets[3]
    info.newNameOffset = offsets[4]
    info.encryptData, info.folderRedirection, info.atmBackup = (int(s) for s in switches)
    info.modifyMask = mask
    info.stringBytes = at
    return block, info


def _share_args(action: int, name: str, *, location: Optional[str] = None,
                new_name: Optional[str] = None, comment: Optional[str] = None,
                encrypt_data: Optional[bool] = None, folder_redirection: Optional[bool] = None,
                atm_backup: Optional[bool] = None, max_users: Optional[int] = None,
                server_dn: Optional[str] = None) -> list[Arg]:
    """The share command's arguments, in the order the shareadm tool gives them."""
    args: list[Arg] = [(lib.CMD_SHARE, None), (action, None), (lib.CIFS_OPT_NAME, name)]
    optional: list[tuple[int, Optional[str]]] = [
        (lib.CIFS_OPT_NEW_NAME, new_name), (lib.CIFS_OPT_PATH, location),
        (lib.CIFS_OPT_COMMENT, comment),
        (lib.CIFS_ACT_ENCRYPTION,
         None if encrypt_data is None else yes_no("encrypt_data", encrypt_data)),
        (lib.CIFS_ACT_FOLDER_REDIRECTION,
         None if folder_redirection is None else yes_no("folder_redirection", folder_redirection)),
        (lib.CIFS_ACT_ATM_BACKUP, None if atm_backup is None else yes_no("atm_backup", atm_backup)),
        (lib.CIFS_OPT_NUMBER, None if max_users is None else str(
            facts.number("max-users" if action == lib.CIFS_ACT_ADD else "max-users-change",
                         "max_users", max_users))),
        (lib.CIFS_OPT_SERVER, server_dn)]
    args += [(code, value) for code, value in optional if value is not None]
    for _, value in args:
        if value is not None:
            text_arg("share argument", value, allow_empty=True)
    return args


def _record_call(action: str, fn: Any, info: Any, args: list[Arg]) -> None:
    """A share management function; when it refuses without a word, the command's own
    validation of the same request says why."""
    rc, message = call(fn, info)
    if rc == -1 and not message and _core.server_reachable():
        ids = ffi.new("int32_t[]", [c for c, _ in args])
        keep = [ffi.new("char[]", v.encode()) if v is not None else ffi.NULL for _, v in args]
        _, message = call(lib.sa_validate_share_command, ids, ffi.new("char *[]", keep), len(args))
    check(action, rc, message)


def create_share(name: str, path: str, *, comment: Optional[str] = None,
                 encrypt_data: bool = False, folder_redirection: bool = False,
                 atm_backup: bool = False, max_users: Optional[int] = None,
                 server_dn: Optional[str] = None) -> None:
    """Creates the share ``name`` of ``path`` (``VOLUME:/dir``).

    Uses ``CIFSLIB_CreateShare``; with ``max_users`` or ``server_dn``, which that record cannot
    carry, the share add command of the argument block.
    """
    args = _share_args(lib.CIFS_ACT_ADD, name, location=text_arg("path", path).decode(),
                       comment=comment, encrypt_data=encrypt_data,
                       folder_redirection=folder_redirection, atm_backup=atm_backup,
                       max_users=max_users, server_dn=server_dn)
    if max_users is not None or server_dn is not None:
        run_command("create share", args)
        return
    volume, rest = _split_location(path)
    block, info = _share_info(name, volume=volume, path=rest, comment=comment,
                              switches=(encrypt_data, folder_redirection, atm_backup))
    _record_call("create share", lib.CIFSLIB_CreateShare, info, args)
    del block


def modify_share(name: str, *, new_name: Optional[str] = None, path: Optional[str] = None,
                 comment: Optional[str] = None, encrypt_data: Optional[bool] = None,
                 folder_redirection: Optional[bool] = None, atm_backup: Optional[bool] = None,
                 max_users: Optional[int] = None, server_dn: Optional[str] = None) -> None:
    """Changes the settings given (None leaves one as it is).

    Uses ``CIFSLIB_ChangeShareConfiguration``; with ``max_users`` (0 to 65535 sets the limit,
    0 or -1 lifts it) or ``server_dn``, the share modify command.
    """
    args = _share_args(lib.CIFS_ACT_MODIFY, name, location=path, new_name=new_name,
                       comment=comment, encrypt_data=encrypt_data,
                       folder_redirection=folder_redirection, atm_backup=atm_backup,
                       max_users=max_users, server_dn=server_dn)
    if len(args) == 3:
        raise ValueError("modify_share: give at least one setting to change")
    if max_users is not None or server_dn is not None:
        run_command("modify share", args)
        return
    mask = 0
    for value, bit in ((new_name, lib.SHARE_MODIFY_NEW_NAME), (path, lib.SHARE_MODIFY_PATH),
                       (comment, lib.SHARE_MODIFY_COMMENT),
                       (encrypt_data, lib.SHARE_MODIFY_ENCRYPT_DATA),
                       (folder_redirection, lib.SHARE_MODIFY_FOLDER_REDIRECTION),
                       (atm_backup, lib.SHARE_MODIFY_ATM_BACKUP)):
        if value is not None:
            mask |= bit
    volume, rest = _split_location(path or "")
    block, info = _share_info(name, volume=volume, path=rest, comment=comment,
                              new_name=new_name or "", mask=mask,
                              switches=(bool(encrypt_data), bool(folder_redirection),
                                        bool(atm_backup)))
    _record_call("modify share", lib.CIFSLIB_ChangeShareConfiguration, info, args)
    del block


def set_share_features(name: str, *, encrypt_data: Optional[bool] = None,
                       folder_redirection: Optional[bool] = None,
                       atm_backup: Optional[bool] = None) -> None:
    """Switches only the data encryption, folder redirection and ATM backup of a share
    (``CIFSLIB_ChangeShareFeatureConfiguration``); None leaves a switch as it is."""
    args = _share_args(lib.CIFS_ACT_MODIFY, name, encrypt_data=encrypt_data,
                       folder_redirection=folder_redirection, atm_backup=atm_backup)
    if len(args) == 3:
        raise ValueError("set_share_features: give at least one switch")
    mask = sum(bit for value, bit in ((encrypt_data, lib.SHARE_MODIFY_ENCRYPT_DATA),
                                      (folder_redirection, lib.SHARE_MODIFY_FOLDER_REDIRECTION),
                                      (atm_backup, lib.SHARE_MODIFY_ATM_BACKUP))
               if value is not None)
    block, info = _share_info(name, mask=mask, switches=(bool(encrypt_data),
                                                          bool(folder_redirection),
                                                          bool(atm_backup)))
    _record_call("set share features", lib.CIFSLIB_ChangeShareFeatureConfiguration, info, args)
    del block


def set_share_mfa(name: str, enabled: bool) -> None:
    """Switches a share's multi-factor authentication level (the share MFA command)."""
    run_command("set share mfa", [(lib.CMD_SHARE, None),
                                  (lib.CIFS_ACT_MFA, yes_no("enabled", enabled)),
                                  (lib.CIFS_OPT_NAME, text_arg("share name", name).decode())])


def remove_share(name: str) -> None:
    """Removes a share (``CIFSLIB_RemoveShare``)."""
    args = _share_args(lib.CIFS_ACT_REMOVE, name)
    block, info = _share_info(name)
    _record_call("remove share", lib.CIFSLIB_RemoveShare, info, args)
    del block
