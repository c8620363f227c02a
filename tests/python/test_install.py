# SPDX-License-Identifier: Apache-2.0
"""The package as `cmake --install` leaves it, and the extension built against an installed tree
through pkg-config."""

from __future__ import annotations

import os
import subprocess
from pathlib import Path

import pytest

BUILD_DIR = os.environ.get("SHARE_BUILD_DIR", "build")
SITE = os.environ.get("SHARE_PYTHON_SITE", "lib/python3/dist-packages")
SOURCE = Path(__file__).resolve().parents[2]
PYTHON = "/usr/bin/python3"


@pytest.fixture(scope="module")
def prefix(tmp_path_factory: pytest.TempPathFactory) -> Path:
    root = tmp_path_factory.mktemp("prefix")
    subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", str(root)], check=True,
                   capture_output=True, timeout=120)
    return root


def clean_env(**extra: str) -> dict[str, str]:
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    env.update(extra)
    return env


def test_installed_package_imports_and_calls(prefix: Path) -> None:
    site = prefix / SITE
    assert (site / "shareadmin" / "py.typed").is_file()
    script = ("import shareadmin, shareadmin.monitor\n"
              "print(shareadmin.__file__)\n"
              "try:\n    shareadmin.share_names()\n"
              "except shareadmin.Unreachable:\n    print('unreachable')\n")
    out = subprocess.run([PYTHON, "-c", script], env=clean_env(PYTHONPATH=str(site)),
                         capture_output=True, text=True, timeout=60, cwd="/")
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines() == [str(site / "shareadmin" / "__init__.py"), "unreachable"]


def test_installed_extension_uses_the_installed_libraries(prefix: Path) -> None:
    native = next((prefix / SITE / "shareadmin").glob("_native*.so"))
    out = subprocess.run(["ldd", str(native)], capture_output=True, text=True, check=True)
    for lib in ("libshareadmin.so.1", "libsharemonitor.so.1"):
        line = next(line for line in out.stdout.splitlines() if lib in line)
        assert str(prefix) in line, line


def test_extension_builds_against_the_installed_tree(prefix: Path, tmp_path: Path) -> None:
    pkgconfig = next(prefix.glob("lib*/**/pkgconfig"))
    subprocess.run([PYTHON, str(SOURCE / "python" / "shareadmin_build.py"), "--compile",
                    str(tmp_path)], env=clean_env(PKG_CONFIG_PATH=str(pkgconfig)), check=True,
                   capture_output=True, timeout=300, cwd=tmp_path)
    out = subprocess.run([PYTHON, "-c", "from shareadmin._native import lib; print(lib.CMD_SHARE)"],
                         env=clean_env(PYTHONPATH=str(tmp_path)), capture_output=True, text=True,
                         timeout=60, cwd="/")
    assert out.stdout.strip() == "1", out.stderr
