#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Figures of the page against a stand-in server with 10,000 connections, for the benchmark
table: page load to the first rows of the sessions table, one refresh of that view, and the run
of `shareadm connections list` that both wait for. Run inside a private network namespace.
Prints one line: "LOAD_S REFRESH_S TOOL_S LONGEST_TASK_S", the medians of --runs."""

from __future__ import annotations

import argparse
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from conftest import BUILD_TOOLS, Sim, chromium, cockpit_ws, private_net, wait_until  # noqa: E402

CONNECTIONS = 10000
ROWS = "#sa-panel-sessions tbody tr[data-row]"

# Set before the page's own scripts: when the first rows appeared, and the longest task.
OBSERVE = """
window.__figures = { firstRows: null, longestTask: 0 };
new PerformanceObserver(list => {
  for (const e of list.getEntries())
    window.__figures.longestTask = Math.max(window.__figures.longestTask, e.duration);
}).observe({ type: "longtask", buffered: true });
new MutationObserver((_, observer) => {
  if (document.querySelector(%r)) {
    window.__figures.firstRows = performance.now();
    observer.disconnect();
  }
}).observe(document, { childList: true, subtree: true });
""" % ROWS


def tool_seconds() -> float:
    start = time.monotonic()
    subprocess.run([str(BUILD_TOOLS / "shareadm"), "--json", "connections", "list"], check=True,
                   stdout=subprocess.DEVNULL)
    return time.monotonic() - start


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    runs = parser.parse_args().runs
    if not private_net.in_private_namespace():
        print("console_figures.py: run it in a private network namespace", file=sys.stderr)
        return 2
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    sim = Sim(CONNECTIONS)
    loads, refreshes, tools, longest = [], [], [], []
    try:
        with cockpit_ws() as url, chromium() as driver:
            driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": OBSERVE})
            for _ in range(runs):
                tools.append(tool_seconds())
                driver.get(url + "#sessions")
                figures = wait_until(lambda: driver.execute_script(
                    "return window.__figures.firstRows !== null && window.__figures"),
                    "the first rows", timeout=120)
                loads.append(figures["firstRows"] / 1000)
                driver.execute_script("document.querySelector('[data-test=pause]').click()")
                wait_until(lambda: not driver.execute_script("return !!window.shareadmin.running"),
                           "the first refresh to end", timeout=120)
                refreshes.append(driver.execute_async_script(
                    "const done = arguments[0]; const t = performance.now();"
                    "window.shareadmin.refresh().then(() => done((performance.now() - t) / 1000));"))
                longest.append(driver.execute_script("return window.__figures.longestTask") / 1000)
    finally:
        sim.stop()
    print(" ".join(f"{statistics.median(v):.6f}" for v in (loads, refreshes, tools, longest)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
