# SPDX-License-Identifier: Apache-2.0
"""The page in a real browser against the stand-in server: what it shows is what the tools
report, and what it does is what the tools then see."""

from __future__ import annotations

import socket

import pytest

from conftest import Page, tool, wait_until


def test_overview_shows_the_counts_the_tools_report(page: Page) -> None:
    _, status = tool("shareadm", "option", "status")
    for key in ("shares", "connections", "open_files"):
        page.wait(lambda: page.text(f'[data-count="{key}"]') == str(status[key]), key)
    assert page.find('[data-test="banner"]').text == ""
    page.shot("shares")
    for name in ("sessions", "files"):
        page.tab(name)
        page.wait(lambda: page.find_all(f"#sa-panel-{name} tbody tr[data-row]"), name)
        page.shot(name)
    page.tab("options")
    page.wait(lambda: page.find_all("[data-option]"), "the option form")
    page.shot("options")
    page.tab("config")
    page.shot("config")


def test_a_share_created_in_the_page_is_on_the_server(page: Page) -> None:
    page.find('[data-test="create-share"]').click()
    page.fill("#sa-share-name", "reports")
    page.fill("#sa-share-path", "VOL1:/finance//reports/")
    page.fill("#sa-share-comment", "Quarterly reports")
    page.find("#sa-share-encrypt-data").click()
    page.find('form[aria-label="Create share"] button[type="submit"]').click()
    page.wait(lambda: page.find_all('tr[data-row="reports"]'), "the new row")
    _, shares = tool("shareadm", "share", "list")
    stored = {s["name"]: s for s in shares["shares"]}["reports"]
    assert (stored["full_path"], stored["comment"], stored["encrypt_data"]) == \
        ("VOL1:/finance/reports", "Quarterly reports", True)


# Each value goes to the tool as typed; its message lands next to the field it names.
@pytest.mark.parametrize("name, path, max_users, field", [
    ("public", "VOL1:/x", "", "name"),           # refused: name-taken
    ("fresh", "VOL9:/x", "", "path"),            # refused: no-such-volume
    ("fresh", "VOL1:/x", "abc", "max-users"),    # rejected before sending
    ('a"b<i>é', "VOL1:/x", "", "name"),          # refused: invalid-value, shown as text
])
def test_a_refusal_shows_the_tools_text_at_its_field(page: Page, name: str, path: str,
                                                     max_users: str, field: str) -> None:
    args = ["share", "add", name, path] + (["--max-users", max_users] if max_users else [])
    status, expected = tool("shareadm", *args)
    assert status in (1, 2)
    page.find('[data-test="create-share"]').click()
    page.fill("#sa-share-name", name)
    page.fill("#sa-share-path", path)
    page.fill("#sa-share-max-users", max_users)
    page.find('form[aria-label="Create share"] button[type="submit"]').click()
    shown = page.wait(lambda: page.text(f'[data-error-for="{field}"]'), f"the {field} error")
    assert shown == expected["message"]
    assert page.find(f"#sa-share-{field}").get_attribute("aria-invalid") == "true"


def test_server_data_is_shown_as_text_never_as_markup(page: Page) -> None:
    comment = "<img src=x onerror=alert(1)>"
    for name, text in (("inject", comment), ("bücher", "Ünïcödé & <b>bold</b> \"quoted\"")):
        assert tool("shareadm", "share", "add", name, f"VOL1:/{name}", "--comment", text)[0] == 0
    page.find('[data-test="pause"]').click()
    page.driver.refresh()
    page.wait(lambda: page.find_all('tr[data-row="inject"]'), "the share row")
    assert page.text('tr[data-row="inject"] td[data-key="comment"]') == comment
    assert page.text('tr[data-row="bücher"] td[data-key="comment"]') == \
        "Ünïcödé & <b>bold</b> \"quoted\""
    assert page.find_all("img, b") == []
    assert page.driver.execute_script("return document.querySelectorAll('[onerror]').length") == 0


def test_removing_a_share_names_its_clients_first(page: Page) -> None:
    _, share = tool("shareadm", "share", "show", "public")
    page.wait(lambda: page.find_all('tr[data-row="public"] [data-test="remove"]'), "the row")
    page.find('tr[data-row="public"] [data-test="remove"]').click()
    said = page.wait(lambda: page.text('[role="dialog"] [data-test="clients"]'), "the dialog")
    assert said == f"{share['clients']} clients use this share and will lose it."
    page.confirm()
    # The dialog closes when the removal starts; the row goes when the tool has answered.
    page.wait(lambda: not page.find_all('tr[data-row="public"]'), "the row to go")
    _, names = tool("shareadm", "share", "names")
    assert "public" not in str(names)


def test_a_volume_close_previews_exactly_what_sharemon_shows_and_closes_it(page: Page) -> None:
    _, before = tool("sharemon", "files", "VOL2")
    paths = sorted(f["path"] for f in before["open_files"])
    assert paths
    page.tab("files")
    page.wait(lambda: page.find_all('#sa-files-volume option[value="VOL2"]'), "the volumes")
    from selenium.webdriver.support.ui import Select
    Select(page.find("#sa-files-volume")).select_by_value("VOL2")
    page.find('[data-test="close-volume"]').click()
    assert sorted(item.split(" (connection")[0] for item in page.dialog_items()) == paths
    page.confirm()
    page.wait(lambda: f"Closed {len(paths)} open files." in page.text("#sa-panel-files"),
              "the count closed")
    _, after = tool("sharemon", "files", "VOL2")
    assert after["open_files"] == []


def test_clear_idle_previews_the_connections_it_then_clears(page: Page) -> None:
    _, preview = tool("shareadm", "clear-connections", "--type", "ALL", "--idle", "20",
                      "--count", "ALL", "--dry-run")
    ids = sorted(c["id"] for c in preview["connections"])
    page.tab("sessions")
    page.fill("#sa-idle-minutes", "20")
    page.find('[data-test="clear-idle"]').click()
    assert sorted(int(item.split(":")[0]) for item in page.dialog_items()) == ids
    page.confirm()
    page.wait(lambda: f"Cleared {len(ids)} connections" in page.text("#sa-panel-sessions"),
              "the count cleared")
    _, left = tool("shareadm", "connections", "list")
    assert not {c["id"] for c in left["connections"]} & set(ids)


def test_the_banner_shows_when_the_server_stops_or_falls_silent(page: Page, sim) -> None:
    from selenium.webdriver.support.ui import Select
    Select(page.find("#sa-interval")).select_by_value("5")
    sim.stop()
    banner = page.wait(lambda: page.text('[data-test="banner"]'), "the banner", timeout=15)
    assert "does not answer" in banner and "no file server answers" in banner
    # A server that accepts but never answers: the tools' time-out, then the same banner.
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as silent:
        silent.bind("\0/tmp/cifs.str")
        silent.listen(16)
        page.driver.refresh()
        banner = wait_until(lambda: page.text('[data-test="banner"]'), "the time-out banner",
                            timeout=40)
        assert "does not answer" in banner


def test_open_files_filter_by_user_across_volumes_as_the_tool_does(page: Page) -> None:
    _, conns = tool("shareadm", "connections", "list", "--with-files")
    user = conns["connections"][0]["user"]
    _, vols = tool("shareadm", "share", "list", "--type", "volume")
    expected = sorted(f["path"] for v in vols["shares"] for f in tool(
        "shareadm", "files", "list", "--volume", v["name"], "--user", user)[1]["open_files"])
    assert expected
    page.tab("files")
    page.wait(lambda: len(page.find_all("#sa-files-volume option")) > 1, "the volumes")
    page.fill("#sa-files-user", user)
    page.find('form[aria-label="Open file filters"] button[type="submit"]').click()
    page.wait(lambda: len(page.find_all('#sa-panel-files tr[data-row]')) == len(expected),
              "the filtered rows")
    shown = sorted(td.text for td in page.find_all('#sa-panel-files td[data-key="path"]'))
    assert shown == expected


def test_a_connections_files_close_from_its_session_row(page: Page) -> None:
    _, conns = tool("shareadm", "connections", "list", "--with-files")
    conn = conns["connections"][0]["id"]
    _, preview = tool("shareadm", "files", "close", "--connection", str(conn), "--dry-run")
    paths = sorted(f["path"] for f in preview["files"])
    page.tab("sessions")
    row = f'#sa-panel-sessions tr[data-row="{conn}"]'
    page.wait(lambda: page.find_all(f'{row} [data-test="close-connection"]'), "the row")
    page.find(f'{row} [data-test="close-connection"]').click()
    assert sorted(item.split(" (connection")[0] for item in page.dialog_items()) == paths
    page.confirm()
    page.wait(lambda: f"Closed {len(paths)} open" in page.text("#sa-panel-sessions"),
              "the count closed")
    _, after = tool("shareadm", "files", "close", "--connection", str(conn), "--dry-run")
    assert after["files"] == []
