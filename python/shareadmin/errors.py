# SPDX-License-Identifier: Apache-2.0
"""Exceptions of the binding: every failure of a call is one of these, never a bare -1."""

from __future__ import annotations

from .facts import FACTS

# The file server's statuses: code -> (name, text), as the tools name them.
STATUS_NAMES: dict[int, tuple[str, str]] = FACTS.statuses


class ShareAdminError(Exception):
    """Base class of every failure a call of the binding reports."""

    action: str

    def __init__(self, action: str, message: str) -> None:
        super().__init__(f"{action}: {message}")
        self.action = action


class ServerRefused(ShareAdminError):
    """The file server answered with a non-zero status.

    ``status`` is the number, ``status_name`` its name (``"name-taken"``; ``"unknown-status"``
    for a number the table does not know) and ``status_text`` its meaning.
    """

    status: int
    status_name: str
    status_text: str

    def __init__(self, action: str, status: int) -> None:
        self.status = status
        self.status_name, self.status_text = STATUS_NAMES.get(
            status, ("unknown-status", "unknown status"))
        super().__init__(action, f"refused by the server with status {status} "
                                 f"({self.status_name}: {self.status_text})")


class Rejected(ShareAdminError):
    """The library refused the call before anything was sent, or could not use the answer.

    ``message`` is what the library printed for it (its own words), or the binding's
    description when the library printed nothing.
    """

    message: str

    def __init__(self, action: str, message: str) -> None:
        self.message = message
        super().__init__(action, message)


class Unreachable(ShareAdminError):
    """No file server answers on the administration endpoint (``@/tmp/cifs.str``)."""

    def __init__(self, action: str,
                 message: str = "no file server answers on @/tmp/cifs.str") -> None:
        super().__init__(action, message)


class UnexpectedServer(Unreachable):
    """The endpoint is held by a process of a uid the caller does not accept (see
    ``set_server_uids``): nothing was sent to it. ``uid`` and ``pid`` are the holder's, as the
    kernel reports them; ``accepted`` the uids accepted."""

    uid: int
    pid: int
    accepted: tuple[int, ...]

    def __init__(self, action: str, uid: int, pid: int, accepted: tuple[int, ...]) -> None:
        self.uid, self.pid, self.accepted = uid, pid, accepted
        listed = ",".join(str(u) for u in accepted)
        super().__init__(action, f"the endpoint @/tmp/cifs.str is held by an unexpected "
                                 f"process: uid {uid} (pid {pid}), not one of the accepted uids "
                                 f"{listed}; accept it with shareadmin.set_server_uids() or "
                                 f"SHAREADMIN_SERVER_UIDS")


class BadReply(ShareAdminError, ValueError):
    """The server's answer holds something the binding cannot represent (text that is not
    UTF-8, a record that is cut short); nothing of the answer is returned."""
