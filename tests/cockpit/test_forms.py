# SPDX-License-Identifier: Apache-2.0
"""Edits, server options and configuration in the browser: every change the page makes is what
the tools then report, and every refusal is the tools' own text at the field it concerns."""

from __future__ import annotations

import json
from pathlib import Path

import pytest

from conftest import Page, tool


def open_edit(page: Page, name: str) -> None:
    page.wait(lambda: page.find_all(f'tr[data-row="{name}"] [data-test="edit"]'), "the row")
    page.find(f'tr[data-row="{name}"] [data-test="edit"]').click()


def save(page: Page) -> None:
    page.find('[data-test="share-form"] button[type="submit"]').click()


# (limit set first, field, typed value, share field it must store, stored value).
@pytest.mark.parametrize("limit, field, typed, key, stored", [
    (None, "comment", 'Team "docs" <b>é</b>', "comment", 'Team "docs" <b>é</b>'),
    (None, "max-users", "7", "max_users", 7),
    ("9", "max-users", "0", "max_users", 0),     # 0 lifts the limit in an edit as in a create
])
def test_an_edit_stores_what_was_typed(page: Page, limit: str | None, field: str, typed: str,
                                       key: str, stored: object) -> None:
    if limit:
        assert tool("shareadm", "share", "modify", "public", "--max-users", limit)[0] == 0
        page.driver.refresh()
    open_edit(page, "public")
    page.fill(f"#sa-share-{field}", typed)
    save(page)
    page.wait(lambda: "Share public changed." in page.text("#sa-panel-shares"), "the result")
    _, share = tool("shareadm", "share", "show", "public")
    assert share[key] == stored


def test_a_switch_and_a_rename_in_one_edit(page: Page) -> None:
    open_edit(page, "public")
    page.fill("#sa-share-name", "everyone")
    page.find("#sa-share-atm-backup").click()
    save(page)
    page.wait(lambda: page.find_all('tr[data-row="everyone"]'), "the renamed row")
    _, share = tool("shareadm", "share", "show", "everyone")
    assert share["atm_backup"] is True
    assert tool("shareadm", "share", "show", "public")[0] == 2


@pytest.mark.parametrize("field, typed", [
    ("name", "VOL1"),           # refused: the name is taken
    ("max-users", "-5"),        # rejected by the tool's own check
    ("comment", "line\u0001"),  # control characters refused
])
def test_an_edit_refusal_shows_at_its_field(page: Page, field: str, typed: str) -> None:
    flag = {"name": "--new-name", "max-users": "--max-users", "comment": "--comment"}[field]
    status, expected = tool("shareadm", "share", "modify", "public", flag, typed)
    assert status in (1, 2)
    open_edit(page, "public")
    # Set as a paste would: typing drops control characters.
    page.driver.execute_script("document.getElementById(arguments[0]).value = arguments[1]",
                               f"sa-share-{field}", typed)
    save(page)
    shown = page.wait(lambda: page.text(f'[data-error-for="{field}"]'), f"the {field} error")
    assert shown == expected["message"]


def test_an_option_change_is_read_back_as_stored(page: Page) -> None:
    page.tab("options")
    row = '[data-option="smb-signing"]'
    page.wait(lambda: page.find_all(f"{row} select option[value=FORCE]"), "the option form")
    from selenium.webdriver.support.ui import Select
    Select(page.find(f"{row} select")).select_by_value("FORCE")
    page.find(f'{row} [data-test="set"]').click()
    page.wait(lambda: page.text(f'{row} [data-test="stored"]') == "FORCE", "the stored value")
    _, doc = tool("shareadm", "config", "export")
    assert doc["options"]["smb-signing"] == "FORCE"


def test_an_option_value_out_of_range_shows_the_tools_message(page: Page) -> None:
    page.tab("options")
    row = '[data-option="oplock-break-ack-timeout"]'
    page.wait(lambda: page.find_all(f"{row} input"), "the option form")
    page.fill(f"{row} input", "99")
    page.find(f'{row} [data-test="set"]').click()
    _, expected = tool("shareadm", "option", "oplock-break-ack-timeout", "99")
    shown = page.wait(lambda: page.text(f"{row} .pf-m-error"), "the error")
    assert shown == expected["message"]


@pytest.mark.parametrize("listing, name, argument", [
    ("invalid-users", "cn=<mallory>,o=example", "invalid-users"),
    ("user-contexts", "ou=Ünïcode,o=example", "user-contexts"),
])
def test_names_are_added_and_removed(page: Page, listing: str, name: str, argument: str) -> None:
    page.tab("options")
    page.fill(f"#sa-{listing}-name", name)
    page.find(f'form[aria-label] #sa-{listing}-name').submit()
    item = f'[data-test="{listing}"] li[data-name="{name}"]'
    page.wait(lambda: page.find_all(item), "the new name")
    assert name in json.dumps(tool("shareadm", argument, "list")[1], ensure_ascii=False)
    page.find(f'{item} [data-test="remove"]').click()
    page.wait(lambda: not page.find_all(item), "the name to go")
    assert name not in json.dumps(tool("shareadm", argument, "list")[1], ensure_ascii=False)


def test_a_document_is_planned_per_object_and_applied_change_by_change(page: Page,
                                                                       tmp_path: Path) -> None:
    _, doc = tool("shareadm", "config", "export")
    doc["shares"] = [s for s in doc["shares"] if s["name"] != "public"] + \
        [{"name": "media", "volume": "VOL1", "path": "/media", "comment": "<i>films</i>"}]
    doc["options"]["smb-signing"] = "FORCE"
    upload = tmp_path / "fileserver.json"
    upload.write_text(json.dumps(doc))
    page.tab("config")
    page.find("#sa-config-file").send_keys(str(upload))
    page.wait(lambda: page.find("#sa-config-text").get_attribute("value"), "the loaded document")
    page.find('[data-test="diff"]').click()
    page.wait(lambda: page.find_all('[data-test="plan"] li'), "the plan")
    targets = {g.get_attribute("data-target") for g in page.find_all(".sa-plan-group")}
    assert len(targets) == len(page.find_all(".sa-plan-group")) >= 2
    planned = len(page.find_all('[data-test="plan"] li'))
    page.find('[data-test="apply"]').click()
    page.find('[role="dialog"] [data-test="confirm"]').click()
    page.wait(lambda: page.find_all('[data-test="result"] li'), "the result")
    results = [li.get_attribute("data-result") for li in page.find_all('[data-test="result"] li')]
    assert results == ["applied"] * planned
    assert tool("shareadm", "config", "diff", "-", input=json.dumps(doc))[0] == 0


def test_a_bad_document_lists_every_problem_and_changes_nothing(page: Page) -> None:
    bad = {"schema_version": 1, "shares": [{"name": "x", "volume": "VOL1", "max_users": 70000}],
           "options": {"smb-signing": "SOMETIMES"}}
    status, expected = tool("shareadm", "config", "diff", "-", input=json.dumps(bad))
    assert status == 1
    page.tab("config")
    page.driver.execute_script("document.getElementById('sa-config-text').value = arguments[0]",
                               json.dumps(bad))
    page.find('[data-test="diff"]').click()
    shown = page.wait(lambda: page.find_all('[data-test="problems"] li'), "the problems")
    assert [li.text for li in shown] == \
        [f"{p['pointer']}: {p['message']}" for p in expected["problems"]]
    assert page.find('[data-test="apply"]').get_attribute("disabled") is not None


def test_the_export_is_the_tools_document(page: Page) -> None:
    _, expected = tool("shareadm", "config", "export")
    page.tab("config")
    page.find('[data-test="export"]').click()
    text = page.wait(lambda: page.find("#sa-config-text").get_attribute("value"), "the export")
    assert json.loads(text) == expected


def holds(actual: object, expected: object) -> bool:
    """A keyed option holds every key given; a set every member given."""
    if isinstance(expected, dict):
        return isinstance(actual, dict) and all(actual.get(k) == v for k, v in expected.items())
    return isinstance(actual, list) and all(m in actual for m in expected)


KEYED = '[data-option="cache"] [data-entry="dircache"]'
MEMBERS = '[data-option="virtual-server"] [data-test="add"]'


# (option, fields typed and the button that sets them, what the page then shows as stored, what
#  the export must hold, a refused value typed, its setter's arguments, where its error shows).
@pytest.mark.parametrize("option, typed, press, shown, held, refused, setter, error_at", [
    ("cache", {f"{KEYED} input": "77"}, f"{KEYED} [data-test=set]",
     (f"{KEYED} [data-test=stored]", "77"), {"dircache": 77},
     {f"{KEYED} input": "0"}, ["cache", "DIRCACHE=0"], KEYED),
    ("virtual-server",
     {f'{MEMBERS} [data-field="name"] input': "web1",
      f'{MEMBERS} [data-field="address"] input': "192.0.2.5"},
     f"{MEMBERS} button[type=submit]",
     ('[data-option="virtual-server"] li[data-name="web1"]', "web1 (192.0.2.5)"),
     [{"name": "web1", "address": "192.0.2.5"}],
     # The same name again: the server's refusal, at the name.
     {f'{MEMBERS} [data-field="name"] input': "web1",
      f'{MEMBERS} [data-field="address"] input': "192.0.2.6"},
     ["virtual-server", "add", "web1", "--ip", "192.0.2.6"], f'{MEMBERS} [data-field="name"]'),
], ids=["keyed", "set"])
def test_keyed_and_set_options_are_set_read_back_and_refused(
        page: Page, option: str, typed: dict, press: str, shown: tuple, held: object,
        refused: dict, setter: list[str], error_at: str) -> None:
    page.tab("options")
    page.wait(lambda: page.find_all(press), "the option's form")
    for css, value in typed.items():
        page.fill(css, value)
    page.find(press).click()
    page.wait(lambda: shown[1] in page.text(shown[0]), "the stored value")
    assert holds(tool("shareadm", "config", "export")[1]["options"][option], held)

    status, expected = tool("shareadm", "option", *setter)
    assert status in (1, 2)
    for css, value in refused.items():
        page.fill(css, value)
    page.find(press).click()
    text = page.wait(lambda: page.text(f"{error_at} .pf-m-error"), "the refusal")
    assert text == expected["message"]
    assert holds(tool("shareadm", "config", "export")[1]["options"][option], held)
