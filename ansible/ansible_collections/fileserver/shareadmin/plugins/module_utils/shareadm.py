# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0
"""Running shareadm's config commands for the modules: one place that builds documents, maps the
tool's results to Ansible's (changed, diff, failure with the tool's message)."""

from __future__ import annotations

import json

SCHEMA_VERSION = 1
# The share keys of the tool's share JSON and of the configuration document.
SHARE_FIELDS = ("name", "volume", "path", "comment", "max_users", "encrypt_data",
                "folder_redirection", "atm_backup", "mfa")
COMMON_ARGS = dict(shareadm_path=dict(type="path"))


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
        return rc, doc, err

    def fail(self, what, rc, doc, err):
        message = doc.get("message") or err.strip() or f"shareadm exited with status {rc}"
        self.module.fail_json(msg=f"{what}: {message}", rc=rc, stderr=err,
                              problems=doc.get("problems", []), changes=doc.get("changes", []),
                              failed_changes=doc.get("failed", []),
                              not_applied=doc.get("not_applied", []), **self.failure_details)

    def run_json(self, *args):
        rc, doc, err = self._run(list(args))
        if rc != 0:
            self.fail("shareadm " + " ".join(args), rc, doc, err)
        return doc

    def export(self):
        return self.run_json("config", "export")

    def apply(self, document, prune=False, force=False):
        """Converges the server to document (a dry run in check mode). Returns the module's
        result: changed, changes and, in diff mode, the changes as a diff."""
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
        changes = doc.get("changes", [])
        result = dict(changed=bool(doc.get("changed")), changes=changes)
        if self.module._diff:
            result["diff"] = dict(prepared="".join(c["text"] + "\n" for c in changes))
        return result


def listing(doc, key):
    """A listing whether or not the tool wraps it in an object."""
    if isinstance(doc, dict):
        return doc.get(key, [])
    return doc
