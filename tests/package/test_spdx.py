# SPDX-License-Identifier: Apache-2.0
"""scripts/spdx on small trees: where the identifier goes in each kind of file, what is left
alone, and what --check reports."""

from __future__ import annotations

import os
import shutil
import subprocess
from pathlib import Path

import pytest

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "spdx"
ID = "SPDX-License-Identifier: Apache-2.0"

# (file name, content before, content after)
CASES = [
    ("a.cpp", "int x;\n", f"// {ID}\nint x;\n"),
    ("a.h", "#pragma once\n", f"// {ID}\n#pragma once\n"),
    ("lib.map", "V {};\n", f"/* {ID} */\nV {{}};\n"),
    ("CMakeLists.txt", "project(x)\n", f"# {ID}\nproject(x)\n"),
    ("x.pc.in", "Name: x\n", f"# {ID}\nName: x\n"),
    ("a.yml", "---\nk: v\n", f"# {ID}\n---\nk: v\n"),
    ("u.service", "[Unit]\n", f"# {ID}\n[Unit]\n"),
    ("t.sh", "#!/bin/sh\necho\n", f"#!/bin/sh\n# {ID}\necho\n"),
    ("run", "#!/usr/bin/env bash\nexit 0\n", f"#!/usr/bin/env bash\n# {ID}\nexit 0\n"),
    ("p.py", "#!/usr/bin/env python3\n# -*- coding: utf-8 -*-\nx = 1\n",
     f"#!/usr/bin/env python3\n# -*- coding: utf-8 -*-\n# {ID}\nx = 1\n"),
    ("q.py", "", f"# {ID}\n"),
    ("only_shebang.sh", "#!/bin/sh", f"#!/bin/sh\n# {ID}\n"),
    ("dos.c", "int x;\r\n", f"// {ID}\r\nint x;\r\n"),
    # Already there, or under another licence: untouched.
    ("has.cpp", f"// {ID}\nint x;\n", f"// {ID}\nint x;\n"),
    ("mit.c", "/* SPDX-License-Identifier: MIT */\n", "/* SPDX-License-Identifier: MIT */\n"),
    # Not a source file of a known kind: untouched.
    ("data.json", "{}\n", "{}\n"),
    ("notes", "plain text\n", "plain text\n"),
    ("README.md", "# Title\n", "# Title\n"),
]


def spdx(*args: str, cwd: Path, script: Path = SCRIPT) -> subprocess.CompletedProcess[str]:
    return subprocess.run([str(script), *args], cwd=cwd, capture_output=True, text=True)


@pytest.mark.parametrize("name,before,after", CASES, ids=[c[0] for c in CASES])
def test_adds_in_the_files_own_syntax(tmp_path: Path, name: str, before: str,
                                      after: str) -> None:
    path = tmp_path / name
    path.write_bytes(before.encode())
    path.chmod(0o755)
    lacking = before != after
    check = spdx("--check", name, cwd=tmp_path)
    assert check.returncode == (1 if lacking else 0)
    assert check.stdout.split() == ([name] if lacking else [])
    assert spdx(name, cwd=tmp_path).returncode == 0
    assert path.read_bytes() == after.encode()
    assert os.stat(path).st_mode & 0o777 == 0o755
    # A second run changes nothing and the check passes.
    assert spdx(name, cwd=tmp_path).returncode == 0
    assert path.read_bytes() == after.encode()
    assert spdx("--check", name, cwd=tmp_path).returncode == 0


def test_whole_tree_from_git(tmp_path: Path) -> None:
    # A copy of the script in a repository of its own: it covers tracked and new files, not
    # ignored ones.
    (tmp_path / "scripts").mkdir()
    copy = tmp_path / "scripts" / "spdx"
    shutil.copy(SCRIPT, copy)
    subprocess.run(["git", "init", "-q", str(tmp_path)], check=True)
    (tmp_path / ".gitignore").write_text("/build/\n")
    (tmp_path / "build").mkdir()
    (tmp_path / "build" / "gen.cpp").write_text("int g;\n")
    (tmp_path / "tracked.cpp").write_text("int t;\n")
    subprocess.run(["git", "-C", str(tmp_path), "add", "tracked.cpp"], check=True)
    (tmp_path / "new.py").write_text("x = 1\n")
    check = spdx("--check", cwd=tmp_path, script=copy)
    assert check.returncode == 1
    assert sorted(check.stdout.split()) == ["new.py", "tracked.cpp"]
    assert spdx(cwd=tmp_path, script=copy).returncode == 0
    assert spdx("--check", cwd=tmp_path, script=copy).returncode == 0
    assert (tmp_path / "build" / "gen.cpp").read_text() == "int g;\n"
    assert (tmp_path / "tracked.cpp").read_text() == f"// {ID}\nint t;\n"


def test_rejects_unknown_options(tmp_path: Path) -> None:
    assert spdx("--fix", cwd=tmp_path).returncode == 2
