# SPDX-License-Identifier: Apache-2.0
"""The docs under test and the build's programs: README.md and every doc/*.md unless --doc names
some; the tools, the Python package and the C library from the environment ctest sets."""

from __future__ import annotations

import os
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "support"))


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addoption("--doc", action="append", default=[],
                     help="a Markdown file to check (repeatable; default: README.md, doc/*.md)")


def pytest_generate_tests(metafunc: pytest.Metafunc) -> None:
    if "doc" in metafunc.fixturenames:
        docs = [Path(d).resolve() for d in metafunc.config.getoption("doc")]
        docs = docs or [ROOT / "README.md", *sorted((ROOT / "doc").glob("*.md"))]
        metafunc.parametrize("doc", docs, ids=[rel(d) for d in docs])


def rel(path: Path) -> str:
    """path from the top of the repository (as given when outside it)."""
    try:
        return str(path.relative_to(ROOT))
    except ValueError:
        return str(path)


BUILD = Path(os.environ.get("SHARE_BUILD_DIR", ROOT / "build"))
SHARESIM = os.environ.get("SHARESIM", str(BUILD / "tools" / "sharesim"))
SHAREADM = os.environ.get("SHAREADM", str(BUILD / "tools" / "shareadm"))
SHAREMON = os.environ.get("SHAREMON", str(BUILD / "tools" / "sharemon"))
PYTHONPATH = os.environ.get("SHARE_PYTHONPATH", str(BUILD / "python"))
CC = os.environ.get("CC", "cc")
INCLUDE = os.environ.get("SHARE_INCLUDE_DIR", str(ROOT / "include"))
LIBSHAREADMIN = os.environ.get("LIBSHAREADMIN", str(BUILD / "libshareadmin.so"))
