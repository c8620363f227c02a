# SPDX-License-Identifier: Apache-2.0
"""The page's own decisions, run in the browser's module loader: which arguments a form sends,
which volumes a filter lists, how a plan is grouped and how a tool's output is read."""

from __future__ import annotations

import json
from typing import Any

import pytest

from conftest import wait_until


class Loaded:
    """The page's folder in the browser, loaded once: these cases need no server."""

    def __init__(self, driver: Any) -> None:
        self.driver = driver


@pytest.fixture(scope="module")
def page(browser: Any, cockpit: str) -> Loaded:
    browser.get(cockpit)
    wait_until(lambda: browser.execute_script("return document.readyState") == "complete",
               "the page")
    return Loaded(browser)


def call(page: Loaded, module: str, expression: str) -> Any:
    return page.driver.execute_async_script(
        f"const done = arguments[0]; import('./{module}').then(m => done(JSON.stringify({expression})))"
        ".catch(e => done(JSON.stringify({thrown: String(e)})));")


SHARE = {"name": "docs", "full_path": "VOL1:/docs", "comment": "c", "max_users": 0,
         "encrypt_data": False, "folder_redirection": True, "atm_backup": False}
SAME = {"name": "docs", "path": "VOL1:/docs", "comment": "c", "max-users": "0",
        "encrypt-data": False, "folder-redirection": True, "atm-backup": False}


@pytest.mark.parametrize("values, share, expected", [
    # An edit sends only what differs, with the modify names of the arguments.
    (SAME, SHARE, ["share", "modify", "docs"]),
    ({**SAME, "name": "d2", "atm-backup": True}, SHARE,
     ["share", "modify", "docs", "--new-name", "d2", "--atm-backup", "yes"]),
    ({**SAME, "comment": ""}, SHARE, ["share", "modify", "docs", "--comment", ""]),
    ({**SAME, "max-users": " 5"}, SHARE, ["share", "modify", "docs", "--max-users", " 5"]),
    # A create sends every switch and no empty optional value.
    ({**SAME, "comment": "", "max-users": ""}, None,
     ["share", "add", "docs", "VOL1:/docs", "--encrypt-data", "no", "--folder-redirection", "yes",
      "--atm-backup", "no"]),
])
def test_share_form_arguments(page: Loaded, values: dict, share: dict | None,
                              expected: list[str]) -> None:
    got = call(page, "shares.js", f"m.shareArgs({json.dumps(values)}, {json.dumps(share)})")
    assert json.loads(got) == expected


@pytest.mark.parametrize("chosen, prefix, expected", [
    ("VOL2", "", ["VOL2"]),
    ("VOL2", "VOL1:/x", ["VOL2"]),     # the tool says what it thinks of the mismatch
    ("", "VOL1:/x", ["VOL1"]),
    ("", "/x", ["VOL1", "VOL2"]),
    ("", "", ["VOL1", "VOL2"]),
])
def test_volumes_a_file_filter_lists(page: Loaded, chosen: str, prefix: str,
                                     expected: list[str]) -> None:
    got = call(page, "files.js", f"m.volumesToList({json.dumps(chosen)}, {json.dumps(prefix)}, "
               "['VOL1', 'VOL2'])")
    assert json.loads(got) == expected


def test_a_plan_groups_per_object_in_its_order(page: Loaded) -> None:
    changes = [{"target": "share b"}, {"target": "option x"}, {"target": "share b"}]
    got = json.loads(call(page, "config.js", f"m.groupChanges({json.dumps(changes)})"))
    assert [(t, len(items)) for t, items in got] == [("share b", 2), ("option x", 1)]


@pytest.mark.parametrize("status, out, success, ok, kind", [
    (0, '{"shares": []}', [0], True, None),
    (4, '{"changes": []}', [0, 4], True, None),
    (4, '{"changes": []}', [0], False, "not-run"),
    (2, '{"error": "name-taken", "message": "m", "exit_status": 2}', [0], False, "name-taken"),
    (0, '{"error": "odd"}', [0], False, "odd"),     # an error document is never a success
    (0, "not json", [0], False, "not-run"),
    (None, "", [0], False, "not-run"),
])
def test_reading_a_tools_output(page: Loaded, status: Any, out: str, success: list[int], ok: bool,
                                kind: str | None) -> None:
    got = json.loads(call(page, "tools.js", f"m.interpret('shareadm', ['share', 'list'], "
                          f"{json.dumps(status)}, {json.dumps(out)}, '', {json.dumps(success)})"))
    assert got["ok"] is ok
    assert (got["error"] or {}).get("error") == kind
