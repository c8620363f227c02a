# SPDX-License-Identifier: Apache-2.0
"""The binding and the command-line tools agree: option values in the form their setter takes,
one type per share, the same limits, and "never" as None."""

from __future__ import annotations

import json
import subprocess
from collections.abc import Callable, Iterator
from typing import Any

import pytest

import shareadmin as sa
import shareadmin.monitor as mon
from conftest import SHAREADM, Sim, shareadm
from shareadmin.facts import FACTS


def test_option_values_round_trip(sim: Any) -> None:
    sa.set_option("smb-signing", "FORCE")
    sa.set_option("log-level", "DEBUG")
    before = sa.server_configuration().options
    assert before == shareadm("option", "show")["options"]
    assert before["smb-signing"] == "FORCE"
    for name, value in before.items():
        # A stored number no keyword stands for cannot be set by any tool either.
        if not (isinstance(value, int) and FACTS.options[name].keywords and
                FACTS.options[name].keyword_for(value) is None):
            sa.set_option(name, value)
    assert sa.server_configuration().options == before


def test_one_type_per_share(sim: Any) -> None:
    listed = {s.name: s.type for s in sa.list_shares()}
    tools = {r["name"]: r["type_name"] for r in shareadm("share", "list")["shares"]}
    assert {sa.ShareType.ADMIN, sa.ShareType.VOLUME, sa.ShareType.DIRECTORY} <= set(listed.values())
    assert {n: t.name.lower() for n, t in listed.items()} == tools
    assert {n: sa.share(n).type for n in listed} == listed


def cli_refuses(*args: str) -> bool:
    """Whether shareadm refuses one of the arguments before asking the server."""
    out = subprocess.run([SHAREADM, "--json", *args], capture_output=True, text=True,
                         timeout=60)
    return out.returncode == 1 and "argument" in json.loads(out.stdout)


def refuses(call: Callable[[], Any]) -> bool:
    try:
        call()
    except ValueError:
        return True
    except sa.ShareAdminError:
        pass
    return False


@pytest.mark.parametrize("value", [-2, -1, 0, 65535, 65536, 70000])
def test_limits_are_the_tools(sim: Any, value: int) -> None:
    v = str(value)
    assert refuses(lambda: sa.create_share(f"n{value}", "VOL1:/n", max_users=value)) == \
        cli_refuses("share", "add", f"m{value}", "VOL1:/m", "--max-users", v)
    assert refuses(lambda: sa.modify_share("public", max_users=value)) == \
        cli_refuses("share", "modify", "public", "--max-users", v)
    assert refuses(lambda: sa.open_files(connection=value)) == \
        cli_refuses("files", "list", "--connection", v)


@pytest.fixture
def never_sim(tmp_path: Any) -> Iterator[Sim]:
    """The stand-in server with every login, open and addition time 0 ("never")."""
    state = str(tmp_path / "state.json")
    Sim("--clients", "12", "--seed", "7", "--state", state).stop()
    with open(state) as f:
        doc = json.load(f)
    zeroed: set[str] = set()

    def zero(node: Any) -> None:
        if isinstance(node, dict):
            for key in node:
                if key in ("login_at", "opened_at", "added_at"):
                    node[key] = 0
                    zeroed.add(key)
                else:
                    zero(node[key])
        elif isinstance(node, list):
            for item in node:
                zero(item)

    zero(doc)
    assert zeroed == {"login_at", "opened_at", "added_at"}
    with open(state, "w") as f:
        json.dump(doc, f)
    s = Sim("--state", state)
    yield s
    s.stop()


# Every time a record carries that the server may leave at 0.
TIMES: dict[str, Callable[[], list[Any]]] = {
    "connections": lambda: [c.login_time for c in sa.connections()],
    "connection": lambda: [sa.connection(3).login_time],
    "file_holders": lambda: [c.login_time for c in sa.file_holders(volume="VOL1")],
    "open_files": lambda: [f.opened_at for f in sa.open_files(volume="VOL1").files],
    "invalid_users": lambda: [u.added_at for u in sa.invalid_users().users],
    "monitor.connections": lambda: [c.login_time for c in mon.connections()],
    "monitor.connection": lambda: [mon.connection(3).login_time],
}


@pytest.mark.parametrize("name", TIMES)
def test_a_time_of_0_is_none(never_sim: Any, name: str) -> None:
    times = TIMES[name]()
    assert times and all(t is None for t in times)
