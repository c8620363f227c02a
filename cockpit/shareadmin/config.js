// SPDX-License-Identifier: Apache-2.0
// Configuration as a document: export it, load one, see the plan `config diff` makes of it
// grouped per object, and apply it with the outcome of every change.
import { h, replace, button, alert, confirmDialog } from "./dom.js";
import { failureText, EXIT_UNREACHABLE } from "./tools.js";
import { section, messageArea, plural } from "./parts.js";

const DIFF_FOUND = 4;
const KIND_MARK = { add: "+", change: "~", rename: "~", remove: "-" };

// The plan's changes grouped by the object they touch, in the plan's order.
export function groupChanges(changes) {
  const groups = new Map();
  for (const c of changes) {
    const key = c.target ?? "";
    if (!groups.has(key))
      groups.set(key, []);
    groups.get(key).push(c);
  }
  return [...groups];
}

const changeText = c => c.text ?? `${KIND_MARK[c.kind] ?? ""} ${c.target} ${c.field ?? ""}`;

export class Config {
  constructor(ctx) {
    this.ctx = ctx;
    this.document = null;
    this.message = messageArea();
    this.file = h("input", { type: "file", accept: ".json,application/json", id: "sa-config-file",
                             class: "pf-c-form-control", onchange: () => this.load() });
    this.text = h("textarea", { class: "pf-c-form-control sa-document", id: "sa-config-text",
                                rows: "8", spellcheck: "false",
                                placeholder: "{\"schema_version\": 1, ...}" });
    this.plan = h("div", { "data-test": "plan", "aria-live": "polite" });
    this.applyButton = button("Apply…", () => this.apply(), "primary",
                              { "data-test": "apply", disabled: true });
    this.element = section(
      "config", "Configuration",
      h("div", { class: "sa-toolbar" },
        button("Export", () => this.exportDocument(), "secondary", { "data-test": "export" })),
      h("div", { class: "pf-c-form__group" },
        h("label", { class: "pf-c-form__label", for: this.file.id }, "Load a document"), this.file),
      h("div", { class: "pf-c-form__group" },
        h("label", { class: "pf-c-form__label", for: this.text.id }, "Document"), this.text),
      h("div", { class: "sa-toolbar" },
        button("Show plan", () => this.diff(), "secondary", { "data-test": "diff" }),
        this.applyButton),
      this.message, this.plan);
  }

  // Nothing here follows the server on its own: a plan stays as it was made.
  async refresh() {
    return { ok: true };
  }

  async exportDocument() {
    replace(this.message);
    const r = await this.ctx.run("shareadm", ["config", "export"]);
    if (!r.ok) {
      replace(this.message, alert("danger", "Not exported", failureText(r.error)));
      return;
    }
    const text = JSON.stringify(r.doc, null, 2) + "\n";
    this.text.value = text;
    const link = h("a", { href: URL.createObjectURL(new Blob([text], { type: "application/json" })),
                          download: "fileserver.json" });
    document.body.append(link);
    link.click();
    link.remove();
    replace(this.message, alert("success", "Exported as fileserver.json"));
  }

  async load() {
    const f = this.file.files[0];
    if (f)
      this.text.value = await f.text();
    this.applyButton.disabled = true;
    replace(this.plan);
  }

  async diff() {
    replace(this.message);
    replace(this.plan);
    this.applyButton.disabled = true;
    // The document goes to the tool as loaded: its checks name every mistake.
    const input = this.text.value;
    const r = await this.ctx.run("shareadm", ["config", "diff", "-"],
                                 { input, success: [0, DIFF_FOUND] });
    if (!r.ok) {
      this.showFailure("The document cannot be applied", r);
      return;
    }
    this.planned = input;
    const changes = r.doc.changes || [];
    if (changes.length === 0) {
      replace(this.plan, alert("info", "The server already matches the document"));
      return;
    }
    replace(this.plan, h("h3", {}, `Plan: ${plural(changes.length, "change", "changes")}`),
            groupChanges(changes).map(([target, list]) => h(
              "div", { class: "sa-plan-group", "data-target": target },
              h("h4", {}, target),
              h("ul", { class: "sa-list" }, list.map(c => h("li", { "data-kind": c.kind },
                                                            changeText(c)))))));
    this.applyButton.disabled = false;
  }

  async apply() {
    const count = this.plan.querySelectorAll("li").length;
    const ok = await confirmDialog({
      title: `Apply ${plural(count, "change", "changes")}?`,
      body: h("p", {}, "The server is changed in the order of the plan; a refusal stops there."),
      confirmLabel: "Apply", danger: false,
    });
    if (!ok)
      return;
    this.applyButton.disabled = true;
    const r = await this.ctx.run("shareadm", ["config", "apply", "-"], { input: this.planned });
    // A refusal part-way still reports what was applied.
    const doc = r.doc && Array.isArray(r.doc.changes) ? r.doc : null;
    if (!doc) {
      this.showFailure("Not applied", r);
      return;
    }
    const row = (c, result) => h("li", { "data-result": result },
                                 `${changeText(c)}: ${result}`);
    replace(this.plan,
            h("h3", {}, "Result"),
            h("ul", { class: "sa-list", "data-test": "result" },
              doc.changes.map(c => row(c, "applied")),
              [doc.failed ?? []].flat().map(c => row(c, `refused: ${failureText(r.error)}`)),
              (doc.not_applied || []).map(c => row(c, "not applied"))));
    replace(this.message, r.ok
      ? alert("success", doc.changed ? `Applied ${plural(doc.changes.length, "change", "changes")}.`
        : "Nothing to change.")
      : alert("danger", "Stopped at a refusal", failureText(r.error)));
    await this.ctx.refreshNow();
  }

  showFailure(title, r) {
    if (r.status === EXIT_UNREACHABLE)
      return;
    const problems = (r.error && r.error.problems) || [];
    replace(this.message, alert("danger", title, problems.length
      ? h("ul", { class: "sa-list", "data-test": "problems" },
          problems.map(p => h("li", {}, `${p.pointer}: ${p.message}`)))
      : failureText(r.error)));
  }
}
