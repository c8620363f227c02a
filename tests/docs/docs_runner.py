# SPDX-License-Identifier: Apache-2.0
"""Reads the Markdown docs' examples and runs them as a reader would: fenced blocks by kind, the
shell and Python ones in order in one working folder against one stand-in server, console
transcripts compared with the real output, C compiled, relative links resolved."""

from __future__ import annotations

import difflib
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Optional

import private_net  # tests/support

COMMAND_TIMEOUT = 60  # seconds for one block or one transcript command
DIFF_LINES = 60  # of a transcript's diff in a failure message

# Host changes belong in ```shell blocks, which are shown only. The test runs as root, so a
# mislabelled block must not reach the real programs: these stand-ins refuse on PATH.
HOST_CHANGERS = ("sudo", "apt", "apt-get", "dpkg", "systemctl")
# And each example runs in a mount namespace of its own where the file systems are read-only but
# for /tmp (the reader's folder is under it) and the kernel's: a file written elsewhere (under
# /var/lib, /etc or into the checkout) would change the machine running the test.
_READ_ONLY_HOST = """\
set -e
mount --bind /tmp /tmp
awk '{ print $5 }' /proc/self/mountinfo | while read -r mp; do
  case $mp in /proc|/proc/*|/sys|/sys/*|/dev|/dev/*|/tmp|/tmp/*) continue ;; esac
  mount -o remount,bind,ro "$mp"
done
exec "$@"
"""

# What the test does with each fence kind; any other info string is shown only.
RUN_KINDS = ("sh", "console", "python")
KINDS = RUN_KINDS + ("c",)

FENCE = re.compile(r"^( {0,3}|\s*)(`{3,}|~{3,})\s*([^\s`]*)")


@dataclass
class Block:
    kind: str  # the first word of the info string, lower case ("" for none)
    line: int  # 1-based line of the opening fence
    text: str  # the content, the fence's indentation removed


def blocks(markdown: str) -> list[Block]:
    """The fenced code blocks of a Markdown text."""
    found: list[Block] = []
    lines = markdown.splitlines()
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        indent, fence, info = len(m.group(1)), m.group(2), m.group(3).lower()
        body: list[str] = []
        j = i + 1
        close = re.compile(r"^\s*" + re.escape(fence[0]) + "{" + str(len(fence)) + r",}\s*$")
        while j < len(lines) and not close.match(lines[j]):
            line = lines[j]
            body.append(line[min(indent, len(line) - len(line.lstrip(" "))):])
            j += 1
        found.append(Block(info, i + 1, "".join(b + "\n" for b in body)))
        i = j + 1
    return found


# ---- Console transcripts ----------------------------------------------------------------

@dataclass
class Step:
    command: str
    line: int  # line of the `$` in the Markdown file
    expected: list[str] = field(default_factory=list)


def transcript(block: Block) -> list[Step]:
    """The `$ COMMAND` lines of a console block with the output shown after each; a command
    ending in a backslash continues on the next line."""
    steps: list[Step] = []
    continued = False
    for n, line in enumerate(block.text.splitlines(), start=block.line + 1):
        if continued:
            steps[-1].command += "\n" + line
        elif line.startswith("$ ") or line == "$":
            steps.append(Step(line[2:], n))
        elif steps:
            steps[-1].expected.append(line)
        continued = bool(steps) and line.endswith("\\") and not steps[-1].expected
    return steps


def _trimmed(lines: list[str]) -> list[str]:
    lines = [line.rstrip() for line in lines]
    while lines and not lines[-1]:
        lines.pop()
    return lines


def output_matches(expected: list[str], actual: list[str]) -> bool:
    """Whether actual equals expected, where an expected line `...` (indented too, as inside a
    JSON document) stands for any number of lines and trailing blanks do not count."""
    expected, actual = _trimmed(expected), _trimmed(actual)
    parts: list[list[str]] = [[]]
    for line in expected:
        if line.strip() == "...":
            parts.append([])
        else:
            parts[-1].append(line)
    if len(parts) == 1:
        return expected == actual
    first, *middle, last = parts
    if actual[:len(first)] != first or len(actual) < len(first) + len(last):
        return False
    pos, end = len(first), len(actual) - len(last)
    if last and actual[end:] != last:
        return False
    # Leftmost placement of each fixed run between the wildcards is never worse than a later one.
    for part in middle:
        while pos + len(part) <= end and actual[pos:pos + len(part)] != part:
            pos += 1
        if pos + len(part) > end:
            return False
        pos += len(part)
    return True


# ---- Links ------------------------------------------------------------------------------

def slug(heading: str) -> str:
    """A heading's anchor by GitHub's rule: the text as rendered (links to their text, backticks
    and emphasis markers dropped), lower case, punctuation other than - and _ dropped, each space
    a -."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading.strip())
    text = re.sub(r"[`*]", "", text).lower()
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def _prose(markdown: str) -> list[tuple[int, str]]:
    """The lines outside fenced blocks, numbered, inline code spans blanked."""
    inside: Optional[re.Pattern[str]] = None
    out = []
    for n, line in enumerate(markdown.splitlines(), start=1):
        if inside is not None:
            if inside.match(line):
                inside = None
            continue
        m = FENCE.match(line)
        if m:
            inside = re.compile(r"^\s*" + re.escape(m.group(2)[0]) + "{" +
                                str(len(m.group(2))) + r",}\s*$")
            continue
        out.append((n, re.sub(r"(`+).*?\1", lambda c: " " * len(c.group(0)), line)))
    return out


def anchors(markdown: str) -> set[str]:
    """The anchors of a file's headings (ATX and setext), repeats numbered -1, -2, ..."""
    seen: dict[str, int] = {}
    result = set()
    prose = _prose(markdown)
    raw = markdown.splitlines()
    for k, (n, line) in enumerate(prose):
        m = re.match(r"^ {0,3}#{1,6}\s+(.*?)(?:\s+#+)?\s*$", line)
        text = None
        if m:
            text = raw[n - 1].strip().lstrip("#").strip().rstrip("#").strip()
        elif (k + 1 < len(prose) and prose[k + 1][0] == n + 1 and line.strip()
              and re.match(r"^ {0,3}(=+|-+)\s*$", prose[k + 1][1])):
            text = raw[n - 1].strip()
        if text is None:
            continue
        base = slug(text)
        count = seen.get(base, 0)
        seen[base] = count + 1
        result.add(base if count == 0 else f"{base}-{count}")
    return result


LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]*)>?(?:\s+\"[^\"]*\")?\s*\)"
                  r"|^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s|$)"
                  r"|(?:href|src)=\"([^\"]*)\"")


def links(markdown: str) -> list[tuple[int, str]]:
    """Every link and image target outside code, with its line."""
    found = []
    for n, line in _prose(markdown):
        for m in LINK.finditer(line):
            target = next(g for g in m.groups() if g is not None)
            found.append((n, target))
    return found


def broken_links(path: Path, root: Path) -> list[str]:
    """`file:line: target: why` for each relative link of path that does not resolve."""
    problems = []
    for n, target in links(path.read_text()):
        if not target or re.match(r"^[a-z][a-z0-9+.-]*:", target, re.I):
            continue  # another site or a mailto: not fetched
        name, _, anchor = target.partition("#")
        dest = (path.parent / name).resolve() if name else path
        where = f"{path.relative_to(root)}:{n}: {target}"
        if root.resolve() not in (dest, *dest.parents) or not dest.exists():
            problems.append(f"{where}: no such file or folder in the repository")
        elif anchor and dest.suffix == ".md" and anchor not in anchors(dest.read_text()):
            problems.append(f"{where}: {dest.name} has no heading with the anchor #{anchor}")
    return problems


# ---- Running the examples of one file -----------------------------------------------------

# Each block runs in a fresh bash that first takes over the previous block's shell state
# (variables, functions, working folder) and leaves its own for the next one: one reader's
# session, while a failing block still stops only itself.
_BASH_OWN = (r"^(BASH.*|BASHOPTS|SHELLOPTS|EUID|UID|PPID|GROUPS|FUNCNAME|DIRSTACK|PIPESTATUS|"
            r"RANDOM|SRANDOM|SECONDS|LINENO|HISTCMD|EPOCH.*|SHLVL|OPTIND|OPTARG|_|__.*|COLUMNS|"
            r"LINES|PWD|OLDPWD)$")
_PRELUDE = f"""\
cd "$(cat "$__STATE/cwd")"
. "$__STATE/vars"
__save() {{
  local __rc=$? __n __d __f
  {{ for __n in $(compgen -v); do
       [[ $__n =~ {_BASH_OWN} ]] && continue
       __d=$(declare -p "$__n" 2>/dev/null) || continue
       __f=${{__d#declare }}; [[ ${{__f%% *}} == *r* ]] || printf '%s\\n' "$__d"
     done
     for __n in $(compgen -A function); do [[ $__n == __* ]] || declare -f "$__n"; done
  }} >"$__STATE/vars.new" && mv "$__STATE/vars.new" "$__STATE/vars"
  pwd >"$__STATE/cwd"; env -0 >"$__STATE/env"
  return $__rc
}}
trap __save EXIT
[ -z "$__STRICT" ] || set -euo pipefail
. "$__STATE/block"
"""


@dataclass
class Failure:
    kind: str
    line: int
    message: str


class Session:
    """One reader's session: a stand-in server, a fresh working folder and the shell state
    carried from block to block."""

    def __init__(self, tools: list[str], pythonpath: str, sharesim: str) -> None:
        if private_net.server_reachable():
            raise RuntimeError("a server already answers on the endpoint")
        # As in the reader's `sharesim --private-network`: loopback up, for the exporter.
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        self.work = Path(tempfile.mkdtemp(prefix="docs-"))
        self.cwd = self.work / "reader"
        self.cwd.mkdir()
        self.state = self.work / "state"
        self.state.mkdir()
        (self.state / "cwd").write_text(str(self.cwd))
        (self.state / "vars").write_text("")
        guard = self.work / "guard"
        guard.mkdir()
        for name in HOST_CHANGERS:
            (guard / name).write_text(f"#!/bin/sh\necho '{name}: not run by the docs test; show "
                                      "host changes in a shell block' >&2\nexit 126\n")
            (guard / name).chmod(0o755)
        tools_dirs = [str(Path(t).resolve().parent) for t in tools]
        path = os.pathsep.join(dict.fromkeys([*tools_dirs, str(guard)]))
        env = {k: v for k, v in os.environ.items() if not k.startswith("__")}
        env["PATH"] = path + os.pathsep + env.get("PATH", "/usr/bin:/bin")
        env["PYTHONPATH"] = os.pathsep.join(p for p in (pythonpath, env.get("PYTHONPATH")) if p)
        env["__STATE"] = str(self.state)
        env["HOME"] = str(self.work / "home")  # what tools keep there stays in the session
        (self.work / "home").mkdir()
        self.env = env
        self.sim = subprocess.Popen([sharesim, "--clients", "12"], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, start_new_session=True)
        deadline = time.monotonic() + 30
        while not private_net.server_reachable():
            if self.sim.poll() is not None or time.monotonic() > deadline:
                self.close()
                raise RuntimeError("sharesim did not start")
            time.sleep(0.01)

    def close(self) -> None:
        _stop(self.sim)
        shutil.rmtree(self.work, ignore_errors=True)

    def _exec(self, argv: list[str], env: dict[str, str]) -> tuple[int, str]:
        """Runs argv in the reader's folder, its own process group, output to a file (so that a
        program left in the background cannot hold the test up), everything it started ended."""
        out = self.work / "out"
        with open(out, "wb") as f:
            argv = ["unshare", "--mount", "--propagation", "private", "--", "sh", "-c",
                    _READ_ONLY_HOST, "sh", *argv]
            proc = subprocess.Popen(argv, cwd=self._cwd(), env=env, stdin=subprocess.DEVNULL,
                                    stdout=f, stderr=subprocess.STDOUT, start_new_session=True)
            try:
                rc = proc.wait(timeout=COMMAND_TIMEOUT)
            except subprocess.TimeoutExpired:
                rc = None
            _stop(proc)
        text = out.read_text(errors="replace")
        if rc is None:
            return -1, text + f"\n(still running after {COMMAND_TIMEOUT} s: stopped)\n"
        return rc, text

    def _cwd(self) -> str:
        cwd = Path((self.state / "cwd").read_text().strip())
        return str(cwd if cwd.is_dir() else self.cwd)

    def shell(self, script: str, strict: bool = True) -> tuple[int, str]:
        """Runs script as an sh example (strict: bash -euo pipefail) or as a command typed at
        the prompt, where a failing command does not end the line (`cmd; echo $?`)."""
        # Sourced from a file of its own: bash's messages then give the block's own line numbers.
        (self.state / "block").write_text(script)
        return self._exec(["bash", "-c", _PRELUDE, "bash"],
                          {**self.env, "__STRICT": "1" if strict else ""})

    def python(self, source: str) -> tuple[int, str]:
        env = dict(self.env)
        saved = self.state / "env"
        if saved.exists():  # what the shell examples exported so far
            for name, _, value in (kv.partition("=") for kv in saved.read_text().split("\0")):
                if name:
                    env[name] = value
        return self._exec(["/usr/bin/python3", "-c", source], env)


def _stop(proc: subprocess.Popen) -> None:
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            return
        try:
            proc.wait(timeout=5)  # then SIGKILL whatever of the group outlived its leader
        except subprocess.TimeoutExpired:
            pass


def run_examples(session: Session, path: Path, rel: str) -> list[Failure]:
    """Runs the sh, console and python examples of path in order; what went wrong."""
    failures = []
    for block in blocks(path.read_text()):
        if block.kind == "console":
            for step in transcript(block):
                _, out = session.shell(step.command, strict=False)
                actual = out.splitlines()
                if not output_matches(step.expected, actual):
                    diff = list(difflib.unified_diff(
                        _trimmed(step.expected), _trimmed(actual), "shown", "real", lineterm=""))
                    if len(diff) > DIFF_LINES:
                        diff[DIFF_LINES:] = [f"({len(diff) - DIFF_LINES} more lines)"]
                    failures.append(Failure("console", step.line, f"{rel}:{step.line}: $ "
                                            f"{step.command}\n" + "\n".join(diff)))
        elif block.kind in ("sh", "python"):
            run = session.shell if block.kind == "sh" else session.python
            rc, out = run(block.text)
            if rc != 0:
                failures.append(Failure(block.kind, block.line,
                                        f"{rel}:{block.line}: {block.kind} example exited {rc}\n"
                                        f"{block.text}--- output:\n{out}"))
    return failures


def compile_c(path: Path, rel: str, cc: str, include: str, lib: str) -> list[str]:
    """Compiles and links each C example of path; a fragment without main() is wrapped."""
    problems = []
    with tempfile.TemporaryDirectory() as work:
        for block in (b for b in blocks(path.read_text()) if b.kind == "c"):
            source = block.text
            if not re.search(r"\bmain\s*\(", source):
                source = ("#include <shareadmin.h>\n#include <stdlib.h>\nint main(void) {\n" +
                          source + "return 0;\n}\n")
            src = Path(work) / f"example{block.line}.c"
            src.write_text(source)
            out = subprocess.run([cc, "-std=c99", "-Wall", "-Wextra", "-pedantic", "-Werror",
                                  "-I", include, str(src), lib, "-o", str(src.with_suffix(""))],
                                 capture_output=True, text=True, timeout=COMMAND_TIMEOUT)
            if out.returncode != 0:
                problems.append(f"{rel}:{block.line}: C example does not build\n"
                                f"{out.stdout}{out.stderr}")
    return problems
