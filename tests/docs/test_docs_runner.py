# SPDX-License-Identifier: Apache-2.0
"""The docs runner's reading of Markdown: fences, transcripts, `...` matching, anchors, links."""

from __future__ import annotations

import os
from pathlib import Path

import pytest

import conftest as cfg
import docs_runner as dr
import private_net

M = "\n".join  # a Markdown text from its lines


@pytest.mark.parametrize("text, want", [
    (M(["```sh", "ls", "```"]), [("sh", 1, "ls\n")]),
    (M(["x", "```Console", "$ a", "```", "```", "plain", "```"]),
     [("console", 2, "$ a\n"), ("", 5, "plain\n")]),
    # A longer fence holds a shorter one; ~~~ fences; an indented fence loses its indentation.
    (M(["````text", "```sh", "````", "~~~python", "print()", "~~~"]),
     [("text", 1, "```sh\n"), ("python", 4, "print()\n")]),
    (M(["1. step", "   ```c", "   int x;", "     y;", "   ```"]), [("c", 2, "int x;\n  y;\n")]),
    (M(["```sh {.numbered}", "a", "```"]), [("sh", 1, "a\n")]),
])
def test_blocks(text: str, want: list) -> None:
    assert [(b.kind, b.line, b.text) for b in dr.blocks(text)] == want


def test_transcript_steps() -> None:
    block = dr.Block("console", 10, M(["$ a \\", "  --b", "out", "$ c  # note", "", "x", "$"]))
    steps = [(s.command, s.line, s.expected) for s in dr.transcript(block)]
    assert steps == [("a \\\n  --b", 11, ["out"]), ("c  # note", 14, ["", "x"]), ("", 17, [])]


@pytest.mark.parametrize("expected, actual, match", [
    ("a b", "a b", True),
    ("a b", "a b c", False),
    ("a__ b", "a\nb   \n\n", True),               # trailing blanks do not count
    ("a ... d", "a b c d", True),
    ("a ... d", "a d", True),                     # ... stands for no line too
    ("{ __... }", "{ x y }", True),               # indented as in a JSON document
    ("... c", "a b c", True),
    ("a ...", "a", True),
    ("...", "", True),
    ("a ... b ... b", "a b", False),
    ("a ... b ... b", "a x b y b", True),
    ("a ... b c ... d", "a b x b c d", True),     # the first b is not the place
    ("a ... c", "a b", False),
    ("a b ... b c", "a b c", False),              # the fixed runs may not overlap
    ("a", "A", False),
])
def test_output_matches(expected: str, actual: str, match: bool) -> None:
    lines = [line.replace("_", " ") for line in expected.split(" ")] if expected else []
    got = actual.split("\n") if "\n" in actual else actual.split(" ") if actual else []
    assert dr.output_matches(lines, got) is match


@pytest.mark.parametrize("heading, anchor", [
    ("Configuration as code", "configuration-as-code"),
    ("The `--json` output", "the---json-output"),
    ("C API: calls & errors", "c-api-calls--errors"),
    ("sharemon(1) and [the exporter](monitoring.md)", "sharemon1-and-the-exporter"),
    ("**Bold** move_fast", "bold-move_fast"),
    ("Größe", "größe"),
])
def test_slug(heading: str, anchor: str) -> None:
    assert dr.slug(heading) == anchor


def test_anchors_and_links(tmp_path: Path) -> None:
    (tmp_path / "doc").mkdir()
    (tmp_path / "doc" / "a.md").write_text(M([
        "# Title", "## Use", "## Use", "Setext", "------", "```sh", "# not a heading", "```",
        "[ok](#use-1) [ok](b.md#c) [ok](../doc/) ![ok](b.md) [ok](https://x.org/y)",
        "`[code](nowhere.md)`", "<a href=\"#setext\">ok</a>", "[r]: b.md#c",
        "[bad](#use-2) [bad](b.md#nope) [bad](missing.md) [bad](../../outside.md)"]))
    (tmp_path / "doc" / "b.md").write_text("### C #\n")
    assert dr.anchors((tmp_path / "doc" / "a.md").read_text()) == {"title", "use", "use-1",
                                                                   "setext"}
    problems = dr.broken_links(tmp_path / "doc" / "a.md", tmp_path)
    assert [p.split(": ")[1] for p in problems] == ["#use-2", "b.md#nope", "missing.md",
                                                    "../../outside.md"]
    assert all(p.startswith("doc/a.md:13: ") for p in problems)


def test_session_carries_a_readers_state(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    """Shell variables, functions, the folder, exports and files pass from block to block; a
    failing or hanging block stops only itself; a transcript shows stdout and stderr together and
    goes on past a failing command, as at a prompt; host changes are refused and the host's files
    read-only."""
    if not private_net.in_private_namespace():
        pytest.skip("needs a private network namespace")
    monkeypatch.setattr(dr, "COMMAND_TIMEOUT", 3)
    # A host folder outside /tmp: the checkout itself may live under /tmp, which stays writable.
    probe = Path("/var/tmp") / f"docs-runner-probe-{os.getpid()}"
    doc = tmp_path / "guide.md"
    doc.write_text(M([
        "```sh", "n=1; export GREETING=hi; f() { echo \"f$n\"; }", "mkdir sub; cd sub",
        "sleep 600 &", "```",
        "```sh", "false", "echo not reached > nope", "```",
        "```console", "$ f; pwd | sed 's|.*/||'; echo err >&2; shareadm share list | cut -c1-4",
        "f1", "sub", "err", "NAME", "...", "publ", "$ false; echo $?", "1", "$ sleep 600", "```",
        "```python", "import os, pathlib",
        "assert os.environ['GREETING'] == 'hi' and not pathlib.Path('nope').exists()",
        "import shareadmin", "print(len(shareadmin.connections()))", "```",
        "```sh", "test \"$n\" = 1 && test ! -e nope", "```",
        "```sh", "sudo apt-get install cowsay", "```",
        "```sh", f"touch {probe}", "```"]))
    session = dr.Session([cfg.SHARESIM, cfg.SHAREADM, cfg.SHAREMON], cfg.PYTHONPATH, cfg.SHARESIM)
    try:
        failures = dr.run_examples(session, doc, "guide.md")
    finally:
        session.close()
        probe.unlink(missing_ok=True)
    assert [(f.kind, f.line) for f in failures] == [("sh", 6), ("console", 20), ("sh", 31),
                                                    ("sh", 34)]
    assert "still running after 3 s" in failures[1].message
    assert "sudo: not run by the docs test" in failures[2].message
    assert "Read-only file system" in failures[3].message
