# SPDX-License-Identifier: Apache-2.0
"""The generated document tests play the file server on its fixed name: a private network
namespace only."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import private_net  # noqa: E402  (tests/support)


def pytest_configure(config: pytest.Config) -> None:
    private_net.require("generated document", "python3")
