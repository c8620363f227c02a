# SPDX-License-Identifier: Apache-2.0
"""Every view at desktop and phone width in the light and the dark theme, against the committed
references. COCKPIT_RENEW_REFERENCES=1 writes new ones (tests/cockpit/renew-references)."""

from __future__ import annotations

import os
import tempfile
from pathlib import Path
from typing import Any

import pytest

from conftest import Page, Sim
from pixels import compare, changed_share, reduce, PIXEL_SHARE

REFERENCES = Path(__file__).resolve().parent / "references"
VIEWS = ("shares", "sessions", "files", "options", "config")
WIDTHS = {"desktop": (1280, 900), "phone": (390, 844)}

# What moves from run to run (times, the refresh clock) is painted over before a shot; through
# the element's style, as the page's content security policy refuses new style sheets.
FREEZE = """
for (const el of document.querySelectorAll('[data-key=idle_seconds], [data-key=opened_at], ' +
                                           '[data-test=last-refresh], [data-test=server-status]'))
  el.style.setProperty('color', 'transparent', 'important');
if (document.activeElement) document.activeElement.blur();
"""


@pytest.mark.parametrize("theme", ["light", "dark"])
def test_views_match_their_references(browser: Any, cockpit: str, sim: Sim, theme: str) -> None:
    renew = os.environ.get("COCKPIT_RENEW_REFERENCES") == "1"
    failures = Path(tempfile.gettempdir()) / "cockpit-pixel-failures"
    problems = []
    try:
        for width, size in WIDTHS.items():
            browser.set_window_size(*size)
            browser.get(cockpit)
            browser.execute_script("localStorage.setItem('shell:style', arguments[0])", theme)
            page = Page(browser, cockpit)
            page.find('[data-test="pause"]').click()
            for view in VIEWS:
                page.tab(view)
                if view not in ("config",):
                    page.wait(lambda: "Loading" not in page.text(f"#sa-panel-{view}"), view)
                page.wait(lambda: not page.driver.execute_script(
                    "return !!window.shareadmin.running"), "the refresh to end")
                browser.execute_script(FREEZE)
                name = f"{view}-{width}-{theme}.png"
                problem = compare(browser.get_screenshot_as_png(), REFERENCES / name, renew,
                                  failures)
                if problem:
                    problems.append(problem)
    finally:
        browser.execute_script("localStorage.removeItem('shell:style')")
        browser.set_window_size(1280, 900)
    assert not problems, "\n".join(problems)


def test_the_comparison_tolerates_little_and_catches_a_change() -> None:
    from PIL import Image, ImageDraw
    import io

    def png(draw) -> bytes:
        img = Image.new("RGB", (200, 100), "white")
        draw(ImageDraw.Draw(img))
        out = io.BytesIO()
        img.save(out, "PNG")
        return out.getvalue()

    base = reduce(png(lambda d: d.rectangle((10, 10, 60, 40), fill="navy")))
    cases = [
        (lambda d: d.rectangle((10, 10, 60, 40), fill="navy"), True),        # the same
        (lambda d: d.rectangle((10, 10, 60, 40), fill=(0, 0, 150)), True),   # a shade off
        (lambda d: d.rectangle((10, 10, 61, 40), fill="navy"), True),        # one column more
        (lambda d: d.rectangle((12, 11, 62, 41), fill="navy"), True),        # a column moved
        (lambda d: d.rectangle((30, 10, 80, 40), fill="navy"), False),       # moved
        (lambda d: d.rectangle((10, 10, 60, 40), fill="orange"), False),     # recoloured
    ]
    for draw, same in cases:
        assert (changed_share(base, reduce(png(draw))) <= PIXEL_SHARE) is same
