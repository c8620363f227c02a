# SPDX-License-Identifier: Apache-2.0
"""Every example in the Markdown docs works as shown: per file, the shell, console and Python
examples run in order against one `sharesim --clients 12` (one test per kind, from one run), the
C examples build, and the relative links resolve."""

from __future__ import annotations

import functools
import time
from pathlib import Path

import pytest

import conftest as cfg
import docs_runner as dr
import private_net


@functools.cache
def run(doc: Path) -> tuple[list[dr.Failure], float]:
    """The failures of doc's runnable examples, from one session, and the seconds it took."""
    start = time.monotonic()
    session = dr.Session([cfg.SHARESIM, cfg.SHAREADM, cfg.SHAREMON], cfg.PYTHONPATH, cfg.SHARESIM)
    try:
        return dr.run_examples(session, doc, cfg.rel(doc)), time.monotonic() - start
    finally:
        session.close()


@pytest.mark.parametrize("kind", dr.RUN_KINDS)
def test_examples(doc: Path, kind: str) -> None:
    if not any(b.kind == kind for b in dr.blocks(doc.read_text())):
        pytest.skip(f"no {kind} example")
    if not private_net.in_private_namespace():
        pytest.fail("the examples run in a private network namespace: unshare --net -- "
                    "/usr/bin/python3 -m pytest tests/docs")
    failures, _ = run(doc)
    mine = [f.message for f in failures if f.kind == kind]
    assert not mine, "\n\n".join(mine)


def test_c_examples_build(doc: Path) -> None:
    problems = dr.compile_c(doc, cfg.rel(doc), cfg.CC, cfg.INCLUDE, cfg.LIBSHAREADMIN)
    assert not problems, "\n\n".join(problems)


def test_links_resolve(doc: Path) -> None:
    problems = dr.broken_links(doc, cfg.ROOT)
    assert not problems, "\n".join(problems)
