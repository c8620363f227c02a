# SPDX-License-Identifier: Apache-2.0
"""Exceptions of the binding: every failure of a call is one of these, never a bare -1."""

from __future__ import annotations

# The file server's statuses as the stand-in server defines them (README, "Server formats").
STATUS_NAMES: dict[int, tuple[str, str]] = {
    1: ("malformed-request",
        "the request's elements are missing, of the wrong type or length, or unterminated"),
    2: ("unknown-function", "the server has no such component or function"),
    3: ("no-such-volume", "no volume has that name"),
    4: ("no-such-share", "no share has that name"),
    5: ("name-taken", "the name is already in use"),
    6: ("invalid-value", "the value is not accepted for this setting"),
    7: ("no-such-connection", "no client connection has that ID"),
    8: ("no-such-file", "no open file has that path"),
    9: ("no-such-user", "the user is not in the invalid-user cache"),
    10: ("no-such-entry", "no such entry exists"),
    11: ("not-permitted", "the object may not be changed this way"),
    12: ("limit-reached", "the server holds as many objects of this kind as it accepts"),
    13: ("state-not-saved", "the change could not be saved to the state file and was not made"),
    14: ("access-denied", "the server does not serve callers of this uid and gid"),
}


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

    def __init__(self, action: str) -> None:
        super().__init__(action, "no file server answers on @/tmp/cifs.str")


class BadReply(ShareAdminError, ValueError):
    """The server's answer holds something the binding cannot represent (text that is not
    UTF-8, a record that is cut short); nothing of the answer is returned."""
