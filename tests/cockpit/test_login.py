# SPDX-License-Identifier: Apache-2.0
"""Cockpit's own login page with a temporary user, then the page. The user exists only in a
private mount namespace (copies of the account files bound over /etc), so it goes away with
cockpit-ws, however the test ends."""

from __future__ import annotations

import secrets
import shutil
import subprocess
import tempfile
import warnings
from pathlib import Path
from typing import Any

from conftest import COCKPIT_WS, PAGE_DIR, Page, free_port, wait_until, port_open

USER, UID = "satest", 64123
ACCOUNT_FILES = ("passwd", "shadow", "group")


def password_hash(password: str) -> str:
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        import crypt
    return crypt.crypt(password, crypt.mksalt(crypt.METHOD_SHA512))


def test_a_temporary_user_logs_in_through_the_login_page(browser: Any) -> None:
    work = Path(tempfile.mkdtemp(prefix="cockpit-login-"))
    work.chmod(0o755)
    home = work / "home"
    # A copy, not a link: the user may not be able to read the checkout (a private build folder).
    shutil.copytree(PAGE_DIR, home / ".local" / "share" / "cockpit" / "shareadmin", symlinks=False)
    subprocess.run(["chown", "-R", f"{UID}:{UID}", str(home)], check=True)
    password = secrets.token_urlsafe(12)
    lines = {
        "passwd": f"{USER}:x:{UID}:{UID}:temporary test user:{home}:/bin/sh\n",
        "shadow": f"{USER}:{password_hash(password)}:19000:0:99999:7:::\n",
        "group": f"{USER}:x:{UID}:\n",
    }
    binds = []
    for name in ACCOUNT_FILES:
        copy = work / name
        shutil.copy2(f"/etc/{name}", copy)
        with copy.open("a") as f:
            f.write(lines[name])
        binds.append(f"mount --bind {copy} /etc/{name}")
    port = free_port()
    script = " && ".join(binds + [f"exec {COCKPIT_WS} --no-tls --port {port} --address 127.0.0.1"])
    proc = subprocess.Popen(["unshare", "--mount", "--propagation", "private", "--", "sh", "-c",
                             script], stdout=subprocess.DEVNULL,
                            stderr=(work / "ws.log").open("w"))
    try:
        wait_until(lambda: port_open(port), "cockpit-ws")
        base = f"http://127.0.0.1:{port}"
        browser.delete_all_cookies()
        browser.get(f"{base}/")
        page = Page.__new__(Page)
        page.driver = browser
        page.wait(lambda: page.find("#login-user-input").is_displayed(), "the login page")
        page.fill("#login-user-input", USER)
        page.fill("#login-password-input", password)
        page.find("#login-button").click()
        page.wait(lambda: not page.find_all("#login-user-input") or
                  not page.find("#login-user-input").is_displayed(), "the login to pass")
        browser.get(f"{base}/cockpit/@localhost/shareadmin/index.html")
        page.wait(lambda: page.text("h1") == "File server", "the page as the new user")
        page.wait(lambda: page.text('[data-test="last-refresh"]') != "never", "a refresh")
        assert browser.execute_async_script(
            "const done = arguments[0]; cockpit.user().then(u => done(u.name))") == USER
        browser.get(f"{base}/cockpit/logout")
    finally:
        proc.terminate()
        proc.wait(timeout=30)
        shutil.rmtree(work, ignore_errors=True)
    assert USER not in Path("/etc/passwd").read_text()
