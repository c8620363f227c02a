# SPDX-License-Identifier: Apache-2.0
"""Browser test support: in this process's private network namespace, the stand-in server,
cockpit-ws serving the page from the source tree to a local session, and headless chromium
driven through chromedriver. Everything started here is stopped on failure too."""

from __future__ import annotations

import contextlib
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable, Iterator
from pathlib import Path
from typing import Any

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import private_net  # noqa: E402  (tests/support)

BUILD_TOOLS = Path(os.environ.get("SHARESIM", "build/tools/sharesim")).resolve().parent
SOURCE_DIR = Path(os.environ.get("SHARE_SOURCE_DIR", Path(__file__).resolve().parents[2]))
PAGE_DIR = SOURCE_DIR / "cockpit" / "shareadmin"
COCKPIT_WS = os.environ.get("COCKPIT_WS", "/usr/lib/cockpit/cockpit-ws")
WAIT = 20  # seconds; every wait is bounded


def pytest_configure(config: pytest.Config) -> None:
    private_net.require("browser", "python3", loopback=True)


def tool(program: str, *args: str, input: str | None = None) -> tuple[int, Any]:
    """Runs one of the build's tools with --json: (exit status, document)."""
    out = subprocess.run([str(BUILD_TOOLS / program), "--json", *args], capture_output=True,
                         text=True, timeout=60, input=input)
    return out.returncode, json.loads(out.stdout) if out.stdout else None


def wait_until(check: Callable[[], Any], what: str, timeout: float = WAIT) -> Any:
    deadline = time.monotonic() + timeout
    last: Any = None
    while time.monotonic() < deadline:
        try:
            last = check()
            if last:
                return last
        except Exception as e:  # a stale element while the page redraws: try again
            last = e
        time.sleep(0.1)
    raise AssertionError(f"timed out after {timeout} s waiting for {what} (last: {last!r})")


class Sim:
    def __init__(self, clients: int = 12) -> None:
        self.proc = subprocess.Popen([str(BUILD_TOOLS / "sharesim"), "--clients", str(clients),
                                      "--seed", "7"], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        wait_until(private_net.server_reachable, "sharesim")

    def stop(self) -> None:
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(timeout=30)


@pytest.fixture
def sim() -> Iterator[Sim]:
    s = Sim()
    yield s
    s.stop()


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_open(port: int) -> bool:
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


@contextlib.contextmanager
def cockpit_ws() -> Iterator[str]:
    """cockpit-ws with a local session whose bridge sees the page and the build's tools."""
    work = Path(tempfile.mkdtemp(prefix="cockpit-test-"))
    data = work / "data" / "cockpit"
    data.mkdir(parents=True)
    # The page's files as installed: the sources, and the tools' facts linked beside them.
    page_dir = data / "shareadmin"
    page_dir.mkdir()
    for f in PAGE_DIR.iterdir():
        (page_dir / f.name).symlink_to(f)
    facts = os.environ.get("SHARE_FACTS")
    if facts:
        (page_dir / "facts.json").symlink_to(Path(facts).resolve())
    env = dict(os.environ, HOME=str(work), XDG_DATA_HOME=str(work / "data"),
               PATH=f"{BUILD_TOOLS}:{os.environ['PATH']}")
    port = free_port()
    proc = subprocess.Popen([COCKPIT_WS, "--no-tls", "--local-session=cockpit-bridge",
                             "--port", str(port), "--address", "127.0.0.1"], env=env,
                            stdout=subprocess.DEVNULL, stderr=(work / "ws.log").open("w"))
    try:
        wait_until(lambda: port_open(port), "cockpit-ws")
        yield f"http://127.0.0.1:{port}/cockpit/@localhost/shareadmin/index.html"
    finally:
        proc.terminate()
        proc.wait(timeout=30)
        shutil.rmtree(work, ignore_errors=True)


@pytest.fixture(scope="session")
def cockpit() -> Iterator[str]:
    with cockpit_ws() as url:
        yield url


@contextlib.contextmanager
def chromium(size: tuple[int, int] = (1280, 900)) -> Iterator[Any]:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                f"--window-size={size[0]},{size[1]}"):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(WAIT)
    try:
        yield driver
    finally:
        driver.quit()


@pytest.fixture(scope="session")
def browser() -> Iterator[Any]:
    with chromium() as driver:
        yield driver


class Page:
    """The page in the browser, loaded afresh, with lookups by the test hooks in its markup."""

    def __init__(self, driver: Any, url: str) -> None:
        self.driver = driver
        driver.get(url)
        self.wait(lambda: self.text('[data-test="last-refresh"]') != "never", "first refresh")

    def wait(self, check: Callable[[], Any], what: str, timeout: float = WAIT) -> Any:
        return wait_until(check, what, timeout)

    def find(self, css: str) -> Any:
        from selenium.webdriver.common.by import By
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def find_all(self, css: str) -> list[Any]:
        from selenium.webdriver.common.by import By
        return self.driver.find_elements(By.CSS_SELECTOR, css)

    def text(self, css: str) -> str:
        return self.find(css).text

    def tab(self, name: str) -> None:
        self.find(f'[data-tab="{name}"]').click()

    def fill(self, css: str, value: str) -> None:
        el = self.find(css)
        el.clear()
        el.send_keys(value)

    def dialog_items(self) -> list[str]:
        self.wait(lambda: self.find_all('[role="dialog"] [data-test="preview"] li'), "preview")
        return [li.text for li in self.find_all('[role="dialog"] [data-test="preview"] li')]

    def shot(self, name: str) -> None:
        """Saves the window for the docs when COCKPIT_SCREENSHOTS names a folder."""
        folder = os.environ.get("COCKPIT_SCREENSHOTS")
        if folder:
            self.driver.save_screenshot(str(Path(folder) / f"{name}.png"))

    def confirm(self) -> None:
        self.find('[role="dialog"] [data-test="confirm"]').click()
        self.wait(lambda: not self.find_all('[role="dialog"]'), "the dialog to close")


@pytest.fixture
def page(browser: Any, cockpit: str, sim: Sim) -> Page:
    return Page(browser, cockpit)
