# SPDX-License-Identifier: Apache-2.0
"""The docs' Python example of closing idle connections' files (in README.md or the Python guide,
whichever holds it) runs as written and does what it says."""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path
from typing import Any

import shareadmin as sa

ROOT = Path(__file__).resolve().parents[2]
DOCS = [ROOT / "README.md", ROOT / "doc" / "python.md"]


def example() -> str:
    """The first ```python block of DOCS that closes connections' files."""
    for doc in DOCS:
        if doc.exists():
            for block in re.findall(r"^```python\n(.*?)^```$", doc.read_text(), re.S | re.M):
                if "close_connection_files" in block:
                    return block
    raise AssertionError(f"no Python example closes connections' files in {DOCS}")


def test_example_closes_the_files_of_connections_idle_over_an_hour(sim: Any) -> None:
    idle = {c.id for c in sa.connections() if c.idle.total_seconds() > 3600 and c.open_files}
    busy = {c.id for c in sa.connections() if c.open_files} - idle
    assert idle and busy  # the seeded population has both
    out = subprocess.run([sys.executable, "-c", example()], capture_output=True, text=True,
                         timeout=60)
    assert out.returncode == 0, out.stderr
    assert len(out.stdout.splitlines()) == len(idle)
    assert all(sa.open_files(connection=i).total == 0 for i in idle)
    assert all(sa.open_files(connection=i).total > 0 for i in busy)
