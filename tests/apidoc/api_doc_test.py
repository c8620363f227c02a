#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The C API reference as doxygen builds it from the public headers.

Runs doxygen twice, into two different folders, and checks: no output at all (warnings are
errors, an undocumented public symbol among them), every SHARE_API declaration documented on a
page, the layout checks (SHARE_STATIC_ASSERT) nowhere as symbols, the same bytes in both folders,
no absolute path of the build machine in any page, and pages that load nothing but jQuery core
and doxygen's own dynsections.js (the Debian package replaces jquery.js by libjs-jquery's).

The exported symbols are those the libraries' symbol lists (tests/install/*.symbols) name, found
again in the headers' SHARE_API declarations.

Usage: api_doc_test.py <doxygen> <Doxyfile> <include dir> <version> <symbol lists dir>
"""
import html
import pathlib
import re
import subprocess
import sys
import tempfile

EXPORTED = re.compile(r"^SHARE_API\s+[^;(\[]*?(\w+)\s*[(\[;]", re.M)
STATIC_ASSERT = re.compile(r"SHARE_STATIC_ASSERT\((?:[^()]|\([^()]*\))*,\s*(\w+)\)\s*;", re.S)
MEMNAME = re.compile(r'<td class="memname">(.*?)</td>', re.S)
SCRIPT = re.compile(r'<script[^>]*\bsrc="([^"]+)"')
# Scripts a page may load: jQuery core alone is enough for dynsections.js.
ALLOWED_SCRIPTS = {"jquery.js", "dynsections.js"}


def doxygen(exe, doxyfile, out):
    config = pathlib.Path(doxyfile).read_text() + f"\nOUTPUT_DIRECTORY = {out}\n"
    run = subprocess.run([exe, "-"], input=config, capture_output=True, text=True)
    return run.returncode, (run.stdout + run.stderr).strip()


def tree(root):
    return {p.relative_to(root).as_posix(): p.read_bytes()
            for p in sorted(root.rglob("*")) if p.is_file()}


def main():
    exe, doxyfile, include, version, lists = sys.argv[1:6]
    symbols = {line.strip() for p in pathlib.Path(lists).glob("*.symbols")
               for line in p.read_text().splitlines() if line.strip()}
    headers = {p.name: p.read_text() for p in sorted(pathlib.Path(include).rglob("*.h"))}
    exported = sorted({n for text in headers.values() for n in EXPORTED.findall(text)})
    labels = sorted({n for text in headers.values() for n in STATIC_ASSERT.findall(text)})
    failures = []

    with tempfile.TemporaryDirectory() as tmp:
        runs = [pathlib.Path(tmp, "a"), pathlib.Path(tmp, "elsewhere", "b")]
        for out in runs:
            out.mkdir(parents=True)
            rc, output = doxygen(exe, doxyfile, out)
            if rc != 0 or output:
                print(f"doxygen (exit {rc}) into {out}:\n{output}")
                return 1
        first, second = (tree(r / "html") for r in runs)

    pages = {name: data.decode() for name, data in first.items() if name.endswith(".html")}
    # Member pages, not the verbatim header listings (*_source.html), which show every line.
    members = {n: t for n, t in pages.items() if not n.endswith("_source.html")}
    memnames = [re.sub(r"\s+", " ", html.unescape(re.sub(r"<[^>]+>", "", m)))
                for t in members.values() for m in MEMNAME.findall(t)]
    scripts = {s for t in pages.values() for s in SCRIPT.findall(t)}
    machine_paths = [str(pathlib.Path(include).resolve().parent),
                     str(pathlib.Path(doxyfile).resolve().parent)]

    checks = [
        ("the headers declare exactly the symbols the libraries export",
         bool(symbols) and set(exported) == symbols,
         f"only in the headers: {sorted(set(exported) - symbols)}, "
         f"only in the lists: {sorted(symbols - set(exported))}"),
        ("the headers carry layout checks", len(labels) >= 100, f"{len(labels)} found"),
        ("every exported symbol is documented",
         not (missing := [n for n in exported
                          if not any(re.search(rf"\b{n}\b", m) for m in memnames)]),
         f"no member documentation for: {missing}"),
        ("no layout check appears as a symbol",
         not (shown := [lb for lb in labels
                        if any(re.search(rf"\b{lb}\b", t) for t in members.values())]
              + [m for m in memnames if "share_static_assert" in m]),
         f"shown: {shown}"),
        ("the same bytes from another folder", first == second,
         f"differ: {sorted(k for k in first.keys() | second.keys() if first.get(k) != second.get(k))}"),
        ("no path of the build machine in a page",
         not (leaks := sorted(n for n, t in pages.items() if any(p in t for p in machine_paths))),
         f"in: {leaks}"),
        ("pages load jQuery core and dynsections.js only", scripts <= ALLOWED_SCRIPTS,
         f"scripts: {sorted(scripts)}"),
        ("jquery.js is generated (the package links it to libjs-jquery)", "jquery.js" in first,
         "no jquery.js"),
        ("the main page is the index and carries the version",
         "Where to start" in pages.get("index.html", "") and version in pages["index.html"],
         "index.html lacks the main page or the version"),
        ("one page per public header",
         all(f"{h.replace('.', '_8')}.html" in pages for h in headers),
         f"pages: {sorted(members)}"),
    ]
    for name, ok, detail in checks:
        print(f"{'ok  ' if ok else 'FAIL'} {name}" + ("" if ok else f": {detail}"))
        if not ok:
            failures.append(name)
    print(f"{len(exported)} exported symbols, {len(labels)} layout checks, {len(pages)} pages")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
