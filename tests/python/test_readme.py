# SPDX-License-Identifier: Apache-2.0
"""The README's Python example runs as written and does what it says."""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path
from typing import Any

import shareadmin as sa

README = Path(__file__).resolve().parents[2] / "README.md"


def test_example_closes_the_files_of_connections_idle_over_an_hour(sim: Any) -> None:
    blocks = re.findall(r"^```python\n(.*?)^```$", README.read_text(), re.S | re.M)
    assert blocks
    idle = {c.id for c in sa.connections() if c.idle.total_seconds() > 3600 and c.open_files}
    busy = {c.id for c in sa.connections() if c.open_files} - idle
    assert idle and busy  # the seeded population has both
    for block in blocks:
        out = subprocess.run([sys.executable, "-c", block], capture_output=True, text=True,
                             timeout=60)
        assert out.returncode == 0, out.stderr
    assert len(out.stdout.splitlines()) == len(idle)
    assert all(sa.open_files(connection=i).total == 0 for i in idle)
    assert all(sa.open_files(connection=i).total > 0 for i in busy)
