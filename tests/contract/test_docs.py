# SPDX-License-Identifier: Apache-2.0
"""The manual pages against the tools: every command, alias and long option that a tool's --help
shows (walked through every subcommand) is described in its page, each page renders without a
warning, and `cmake --install` puts the pages and the completion where man and bash look."""

from __future__ import annotations

import os
import re
import shlex
import subprocess
import tempfile
from collections.abc import Iterator
from dataclasses import dataclass, field
from pathlib import Path

import pytest

from conftest import SOURCE_DIR, run

BUILD_DIR = Path(os.environ.get("SHARE_BUILD_DIR", SOURCE_DIR / "build"))
MAN_DIR = BUILD_DIR / "doc" / "man"
PAGES = ["shareadm", "sharemon", "sharesim"]


def first(pattern: str, text: str, flags: int = 0) -> str:
    """The first group of pattern's first match in text (the whole match without groups)."""
    found = re.search(pattern, text, flags)
    assert found is not None, f"no {pattern!r} in {text[:200]!r}"
    return found.group(found.lastindex or 0)


# --- What the tools show -------------------------------------------------------------------

@dataclass
class Command:
    path: tuple[str, ...]
    options: list[str]
    aliases: list[str] = field(default_factory=list)


def _help_entries(text: str, section: str) -> Iterator[str]:
    """The first column of each entry of a --help section ("Options:", "Subcommands:")."""
    inside = False
    for line in text.splitlines():
        if not line.startswith(" "):
            inside = line.strip() == section
            continue
        # Entries are indented by two; their wrapped descriptions by much more.
        if inside and re.match(r"  \S", line):
            yield line.strip()


def _subcommands(text: str) -> list[list[str]]:
    """Each subcommand's names, the first one canonical: "connections, connection  ..."."""
    return [re.findall(r"[a-z][\w-]*", first(r"^[a-z][\w-]*(?:, [a-z][\w-]*)*", e))
            for e in _help_entries(text, "Subcommands:")]


def _long_options(text: str) -> list[str]:
    names = (e.split()[0] for e in _help_entries(text, "Options:"))
    return [n for entry in names for n in entry.split(",") if n.startswith("--")]


def walk(tool: str, path: tuple[str, ...] = (), aliases: list[str] | None = None
         ) -> Iterator[Command]:
    result = run(tool, *path, "--help")
    assert result.status == 0, f"{tool} {' '.join(path)} --help: {result.stderr}"
    yield Command(path, _long_options(result.stdout), aliases or [])
    for names in _subcommands(result.stdout):
        yield from walk(tool, path + (names[0],), names[1:])


# --- What the pages say --------------------------------------------------------------------

_ALTERNATING = {".BR", ".BI", ".IB", ".RB", ".IR", ".RI"}


def plain(line: str) -> str:
    """A man(7) source line as the reader sees its words: no font changes, macros applied."""
    line = re.sub(r"\\f(?:[BIRP]|\(..|\[[^]]*\])", "", line)
    line = line.replace("\\-", "-").replace("\\(aq", "'").replace("\\(dq", '"')
    line = line.replace("\\ ", " ")
    if not line.startswith("."):
        return line
    macro, _, rest = line.partition(" ")
    try:
        args = shlex.split(rest)
    except ValueError:
        args = rest.split()
    return ("" if macro in _ALTERNATING else " ").join(args)


@dataclass
class Page:
    text: str                                  # every word of the page
    globals: str                               # GLOBAL OPTIONS (sharesim: OPTIONS), and
                                               # what COMMANDS says before the first command
    blocks: dict[tuple[str, ...], str]         # each command's entry: its tag and description


def read_page(name: str) -> Page:
    lines = (MAN_DIR / f"{name}.1").read_text().splitlines()
    section, current, tag_next = "", None, False
    sections: dict[str, list[str]] = {}
    common: list[str] = []
    blocks: dict[tuple[str, ...], list[str]] = {}
    for raw in lines:
        if raw.startswith('.\\"'):
            continue
        text = plain(raw)
        if raw.startswith((".SH", ".SS")):
            if raw.startswith(".SH"):
                section = text.strip()
            current = None
        elif tag_next and section == "COMMANDS" and re.match(r"[a-z]", text):
            # A command's entry is a .TP whose tag starts with the command's words.
            words = []
            for word in text.split():
                if not re.fullmatch(r"[a-z][a-z0-9-]*", word):
                    break
                words.append(word)
            current = blocks.setdefault(tuple(words), [])
        tag_next = raw.startswith(".TP")
        sections.setdefault(section, []).append(text)
        if current is not None:
            current.append(text)
        elif section == "COMMANDS" and not blocks:
            common.append(text)
    return Page("\n".join(t for s in sections.values() for t in s),
                "\n".join(sections.get("GLOBAL OPTIONS", sections.get("OPTIONS", [])) + common),
                {path: "\n".join(b) for path, b in blocks.items()})


def mentions(text: str, word: str) -> bool:
    return re.search(rf"(?<![\w-]){re.escape(word)}(?![\w-])", text) is not None


def undocumented(tool: str) -> list[str]:
    page = read_page(tool)
    documented = {()} | {path[:n] for path in page.blocks for n in range(len(path) + 1)}
    missing = []
    for cmd in walk(tool):
        name = " ".join((tool,) + cmd.path)
        if cmd.path not in documented:
            missing.append(f"command `{name}` has no entry under COMMANDS")
        missing += [f"alias `{a}` of `{name}`" for a in cmd.aliases if not mentions(page.text, a)]
        # An option is described at its command (or a subcommand of it), or for every command.
        here = "\n".join(text for path, text in page.blocks.items()
                         if path[:len(cmd.path)] == cmd.path) if cmd.path else ""
        missing += [f"option {o} of `{name}`" for o in cmd.options
                    if not mentions(here, o) and not mentions(page.globals, o)]
    return missing


@pytest.mark.parametrize("tool", PAGES)
def test_every_command_and_option_shown_by_help_is_in_the_man_page(tool: str) -> None:
    missing = undocumented(tool)
    assert not missing, f"add to doc/man/{tool}.1.in:\n  " + "\n  ".join(missing)


def test_the_page_parser_finds_commands_and_options() -> None:
    # Guards the check above against passing vacuously on a parser that sees nothing.
    page = read_page("shareadm")
    assert {("share", "add"), ("connections", "list"), ("option", "dfs-referral-cache-duration"),
            ("clear-connections",), ("files", "close")} <= set(page.blocks)
    assert mentions(page.blocks[("share", "add")], "--comment")
    assert not mentions(page.blocks[("share", "add")], "--with-files")
    assert mentions(page.globals, "--json")
    commands = list(walk("shareadm"))
    assert len(commands) > 60 and any("--max-users" in c.options for c in commands)
    assert ["connections", "connection"] in _subcommands(run("shareadm", "--help").stdout)


@pytest.mark.parametrize("page", PAGES)
def test_man_renders_the_page_without_warnings(page: str) -> None:
    out = subprocess.run(["man", "--warnings", "-l", str(MAN_DIR / f"{page}.1")],
                         capture_output=True, text=True, timeout=60,
                         env={**os.environ, "MANWIDTH": "80", "LC_ALL": "C.UTF-8"})
    assert out.returncode == 0 and out.stderr == "", out.stderr
    for heading in ["NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "EXAMPLES", "SEE ALSO"]:
        assert re.search(rf"^{heading}$", out.stdout, re.M), heading
    assert all(len(line) <= 80 for line in out.stdout.splitlines())


def _project_version() -> str:
    cmake = (SOURCE_DIR / "CMakeLists.txt").read_text()
    return first(r"project\(\w+ VERSION (\S+)", cmake)


@pytest.mark.parametrize("page", PAGES)
def test_the_build_fills_in_the_version_and_paths(page: str) -> None:
    text = (MAN_DIR / f"{page}.1").read_text()
    assert re.search(r"@\w+@", text) is None
    assert f'"{page} {_project_version()}"' in text.splitlines()[1]


def _install_dir(name: str, default: str) -> str:
    """A GNUInstallDirs directory as configured (cached empty when left at its default)."""
    cache = (BUILD_DIR / "CMakeCache.txt").read_text()
    return first(rf"^CMAKE_INSTALL_{name}:\w+=(.*)$", cache, re.M) or default


def test_install_puts_man_pages_and_completions_where_they_are_looked_for() -> None:
    with tempfile.TemporaryDirectory() as prefix:
        subprocess.run(["cmake", "--install", str(BUILD_DIR), "--prefix", prefix], check=True,
                       capture_output=True, timeout=120)
        root = Path(prefix)
        data = _install_dir("DATADIR", _install_dir("DATAROOTDIR", "share"))
        mandir = _install_dir("MANDIR", _install_dir("DATAROOTDIR", "share") + "/man")
        man1 = root / mandir / "man1"
        for page in PAGES:
            assert (man1 / f"{page}.1").read_text() == (MAN_DIR / f"{page}.1").read_text()
        # man finds the page through the installed tree's own layout.
        out = subprocess.run(["man", "-M", str(root / mandir), "-w", "shareadm"],
                             capture_output=True, text=True, timeout=60)
        assert out.stdout.strip() == str(man1 / "shareadm.1")
        completions = root / data / "bash-completion" / "completions"
        for tool in ["shareadm", "sharemon"]:
            script = completions / tool
            assert script.is_file()
            # bash-completion sources the file named after the command and expects it to
            # register that command.
            out = subprocess.run(["bash", "--norc", "-c", f'source "$0" && complete -p {tool}',
                                  str(script)], capture_output=True, text=True, timeout=60)
            assert out.returncode == 0 and out.stderr == "", out.stderr
            assert out.stdout.strip().endswith(f" {tool}")
