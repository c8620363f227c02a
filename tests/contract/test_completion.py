# SPDX-License-Identifier: Apache-2.0
"""Bash completion of the tools as bash runs it: the script sourced, the completion variables set
for a partial command line, the completion function called, COMPREPLY read back."""

from __future__ import annotations

import os
import socket
import stat
import subprocess
import time
from pathlib import Path

import pytest

from conftest import ENDPOINT, SOURCE_DIR, TOOLS, Result

SCRIPT = SOURCE_DIR / "tools" / "completion" / "share-tools.bash"

_DRIVER = """
source "$SCRIPT" || exit 99
COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
_share_tools
status=$?
((${#COMPREPLY[@]})) && printf '%s\\n' "${COMPREPLY[@]}"
exit $status
"""


def complete(*words: str) -> tuple[list[str], Result]:
    """COMPREPLY for a command line whose last word (maybe empty) is being completed. The first
    word is a tool's name, as in conftest.TOOLS, or a path."""
    argv = [TOOLS.get(words[0], words[0]), *words[1:]]
    out = subprocess.run(["bash", "--norc", "--noprofile", "-c", _DRIVER, "bash", *argv],
                         capture_output=True, text=True, timeout=60,
                         env={**os.environ, "SCRIPT": str(SCRIPT)})
    return out.stdout.splitlines(), Result(out.returncode, out.stdout, out.stderr)


VOLUMES = ["VOL1", "VOL2", "_ADMIN"]

WITH_SERVER = [
    (("shareadm", "sh"), ["share"]),
    (("shareadm", "contexts", "a"), ["add"]),                    # an alias leads on too
    (("shareadm", "connections", "list", "--wit"), ["--with-files"]),
    (("shareadm", "--j"), ["--json"]),
    (("shareadm", "--log-mask", ""), []),                        # a value, not a command
    (("shareadm", "option", "virtual-server", ""), ["add", "remove"]),  # the help's {add,remove}
    (("shareadm", "share", "show", ""), VOLUMES + ["home", "projects", "public"]),
    (("shareadm", "share", "remove", "p"), ["projects", "public"]),
    (("shareadm", "--server-uid", "0", "share", "mfa", "h"), ["home"]),
    (("shareadm", "share", "add", ""), []),                      # a new name: nothing to offer
    (("shareadm", "files", "list", "--volume", ""), VOLUMES),
    (("shareadm", "files", "close", "--volume", "=", "V"), ["VOL1", "VOL2"]),
    (("sharemon", "files", ""), VOLUMES),
    (("sharemon", "close-volume", "_"), ["_ADMIN"]),
    (("sharemon", "--watch", "2", "conn"), ["connection", "connections"]),
    (("sharemon", "metrics", "--per"), ["--per-connection"]),
]


@pytest.mark.parametrize("words,expected", WITH_SERVER, ids=[" ".join(w) for w, _ in WITH_SERVER])
def test_completion_with_a_server(sim, words: tuple[str, ...], expected: list[str]) -> None:
    offered, result = complete(*words)
    assert (offered, result.stderr, result.status) == (sorted(expected), "", 0)


def test_sharemon_alone_takes_the_names_from_its_own_listing(sim, tmp_path: Path) -> None:
    # Without shareadm beside it, sharemon's volumes (which lists shares too) is the source.
    alone = tmp_path / "sharemon"
    alone.symlink_to(Path(TOOLS["sharemon"]).resolve())
    offered, result = complete(str(alone), "close-volume", "")
    assert (offered, result.stderr) == (sorted(VOLUMES + ["home", "projects", "public"]), "")


WITHOUT_SERVER = [
    (("shareadm", "share", "show", ""), []),
    (("shareadm", "files", "holders", "--volume", ""), []),
    (("sharemon", "files", "V"), []),
    (("shareadm", "sh"), ["share"]),          # commands come from the tool, not the server
]


@pytest.mark.parametrize("words,expected", WITHOUT_SERVER,
                         ids=[" ".join(w) for w, _ in WITHOUT_SERVER])
def test_completion_without_a_server_is_silent(words: tuple[str, ...], expected: list[str]
                                               ) -> None:
    offered, result = complete(*words)
    assert (offered, result.stderr, result.status) == (expected, "", 0)


def test_a_silent_server_costs_seconds_not_the_shell() -> None:
    # Holds the endpoint and never answers: the names are given up on, quietly.
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as server:
        server.bind(ENDPOINT)
        server.listen(16)
        start = time.monotonic()
        offered, result = complete("shareadm", "share", "show", "")
        assert (offered, result.stderr, result.status) == ([], "", 0)
        assert time.monotonic() - start < 10


FAKE_HELP = """\
Usage: {name} [OPTIONS] SUBCOMMAND

Options:
  -h,--help                   Print this help message and exit
  --frob TEXT:{{table,json}}    How to frob
  --quiet                     Say less
  --case TEXT:one of YES, NO, OPTIONAL (any letter case)
                              How to say it
  --kind TEXT:volume, read+write
                              Of which kind
  --sort FIELD:FIELD          Sort by this field (prefix - for descending): id, user_name
  --long-flag-name-that-fills Excludes: --quiet
                              Fills the column

Subcommands:
  zeta, z                     A command added after the script was written
  help                        Print the help of a command: help [COMMAND...]
"""


def test_commands_options_and_values_come_from_the_help_of_the_tool(tmp_path: Path) -> None:
    tool = tmp_path / "shareadm"
    # Its "help" is a command with an argument, as the tools' own is.
    tool.write_text("#!/bin/sh\n[ \"$1\" = help ] && exec echo 'Positionals:\n  COMMAND TEXT ...'\n"
                    "cat <<'EOF'\n" + FAKE_HELP.format(name="shareadm") + "EOF\n")
    tool.chmod(tool.stat().st_mode | stat.S_IXUSR)
    for words, expected in [(("",), ["help", "z", "zeta"]),
                            (("help", "z"), ["z", "zeta"]),                 # help COMMAND
                            (("--frob", ""), ["json", "table"]),
                            (("--frob", "=", "t"), ["table"]),
                            (("--case", ""), ["NO", "OPTIONAL", "YES"]),
                            (("--kind", "r"), ["read+write"]),
                            (("--sort", ""), ["id", "user_name"]),
                            (("--sort", "-u"), ["-user_name"]),
                            (("--quiet", "z"), ["z", "zeta"]),              # a flag takes no value
                            (("--long-flag-name-that-fills", "z"), ["z", "zeta"]),
                            (("--", ), ["--case", "--frob", "--help", "--kind",
                                        "--long-flag-name-that-fills", "--quiet", "--sort"])]:
        offered, result = complete(str(tool), *words)
        assert (offered, result.stderr) == (expected, ""), words


def test_a_tool_that_is_not_there_completes_to_nothing() -> None:
    offered, result = complete("/nonexistent/shareadm", "sh")
    assert (offered, result.stderr, result.status) == ([], "", 0)
