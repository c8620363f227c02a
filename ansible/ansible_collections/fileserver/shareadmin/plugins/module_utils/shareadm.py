# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""Running shareadm's config commands for the modules: one place that builds documents, maps the
tool's results to Ansible's (changed, diff, failure with the tool's message)."""

from __future__ import annotations

import json
import re

SCHEMA_VERSION = 1
# The share keys of the tool's share JSON and of the configuration document.
SHARE_FIELDS = ("name", "volume", "path", "comment", "max_users", "encrypt_data",
                "folder_redirection", "atm_backup", "mfa")
COMMON_ARGS = dict(shareadm_path=dict(type="path"))
# The tool's flags as the modules' parameters: a message must name what the task can set.
PARAMETERS = {"--force": "force: true", "--prune": "prune: true", "--dry-run": "check mode"}
_FLAG = re.compile(r"--(?:force|prune|dry-run)\b")


def in_parameters(text):
    """text with the tool's flags named as the modules' parameters."""
    return _FLAG.sub(lambda m: PARAMETERS[m.group(0)], text)


def failure_message(what, doc, err, rc):
    """One line saying what went wrong: the problems themselves where the tool lists them, and
    how far a refused apply got."""
    problems = doc.get("problems") or []
    if problems:
        text = "; ".join(f"{p.get('pointer') or '(document)'}: {p.get('message')}"
                         for p in problems)
        more = doc.get("problems_not_shown")
        if more:
            text += f"; and {more} more"
        text += "; nothing was changed"
    else:
        text = doc.get("message") or err.strip() or f"shareadm exited with status {rc}"
    if "failed" in doc and "changes" in doc and not problems:
        applied, left = len(doc.get("changes", [])), len(doc.get("not_applied", []))
        text += (f"; {applied} change{'s' if applied != 1 else ''} applied, "
                 f"{len(doc.get('failed', []))} refused, {left} not applied")
    return f"{what}: {in_parameters(text)}"


def diff_of(changes):
    """The changes as Ansible's before/after: per target, the values changed."""
    before, after = {}, {}
    for c in changes:
        target, field = c.get("target", ""), c.get("field")
        if field:
            before.setdefault(target, {})[field] = c.get("old")
            after.setdefault(target, {})[field] = c.get("new")
            continue
        if c.get("old") is not None:
            before[target] = c["old"]
        if c.get("new") is not None:
            after[target] = c["new"]
    return dict(before=before, after=after)


class Shareadm:
    def __init__(self, module):
        self.module = module
        path = module.params.get("shareadm_path")
        self.binary = path or module.get_bin_path("shareadm", required=True)
        self.failure_details = {}  # more keys of a failed task's result

    def _run(self, args, data=None):
        rc, out, err = self.module.run_command([self.binary, "--json", *args], data=data,
                                               binary_data=False)
        try:
            doc = json.loads(out) if out.strip() else {}
        except ValueError:
            doc = {}
        return rc, doc if isinstance(doc, dict) else {"listing": doc}, err

    def fail(self, what, rc, doc, err):
        changes = doc.get("changes", [])
        # A refusal part-way leaves the changes before it made: the task changed the host.
        changed = bool(changes) and not doc.get("dry_run", False)
        problems = [dict(p, message=in_parameters(p.get("message", "")))
                    for p in doc.get("problems", [])]
        details = dict(rc=rc, stderr=err, problems=problems, changes=changes,
                       failed_changes=doc.get("failed", []),
                       not_applied=doc.get("not_applied", []), changed=changed)
        if self.module._diff and changed:
            details["diff"] = diff_of(changes)
        self.module.fail_json(msg=failure_message(what, doc, err, rc),
                              **{**details, **self.failure_details})

    def run_json(self, *args):
        rc, doc, err = self._run(list(args))
        if rc != 0:
            self.fail("shareadm " + " ".join(args), rc, doc, err)
        return doc.get("listing", doc)

    def export(self):
        return self.run_json("config", "export")

    def apply(self, document, prune=False, force=False):
        """Converges the server to document (a dry run in check mode). Returns the module's
        result: changed, changes and, in diff mode, the changes as before and after."""
        args = ["config", "apply", "-"]
        if self.module.check_mode:
            args.append("--dry-run")
        if prune:
            args.append("--prune")
        if force:
            args.append("--force")
        document = {"schema_version": SCHEMA_VERSION, **document}
        rc, doc, err = self._run(args, data=json.dumps(document))
        if rc != 0:
            self.fail("shareadm config apply", rc, doc, err)
        for w in doc.get("warnings", []):
            self.module.warn(in_parameters(f"{w.get('pointer')}: {w.get('message')}"))
        changes = doc.get("changes", [])
        result = dict(changed=bool(doc.get("changed")), changes=changes)
        if self.module._diff:
            result["diff"] = diff_of(changes)
        return result


def flags(params, names):
    """The command-line flags of the parameters given: names maps a parameter to its flag."""
    out = []
    for param, flag in names.items():
        if params.get(param) is not None:
            out += [flag, str(params[param])]
    return out


def listing(doc, key):
    """A listing whether or not the tool wraps it in an object."""
    if isinstance(doc, dict):
        return doc.get(key, doc.get("listing", []))
    return doc
