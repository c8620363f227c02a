// SPDX-License-Identifier: Apache-2.0
// Client connections, their details on demand, and clearing idle ones after a preview.
import { h, replace, button, alert, duration, confirmDialog, DataTable } from "./dom.js";
import { failureText } from "./tools.js";

export class Sessions {
  constructor(ctx) {
    this.ctx = ctx;
    this.message = h("div", { class: "sa-message", "aria-live": "polite" });
    this.table = new DataTable({
      label: "Connections",
      rowKey: c => c.id,
      columns: [
        { key: "id", label: "ID" },
        { key: "user", label: "User", value: c => (c.null_session ? "(null session)" : c.user) },
        { key: "address", label: "Address" },
        { key: "dialect", label: "Dialect" },
        { key: "idle_seconds", label: "Idle", value: c => duration(c.idle_seconds) },
        { key: "open_files", label: "Open files" },
      ],
      expand: (c, content) => this.details(c, content),
    });
    this.idle = h("input", { class: "pf-c-form-control sa-narrow", type: "text", inputmode: "numeric",
                             id: "sa-idle-minutes", value: "30" });
    this.idleError = h("p", { class: "pf-c-form__helper-text pf-m-error", "aria-live": "polite",
                              id: "sa-idle-error" });
    this.idle.setAttribute("aria-describedby", "sa-idle-error");
    const form = h("div", { class: "sa-toolbar" },
                   h("label", { for: "sa-idle-minutes" }, "Idle for at least (minutes)"), this.idle,
                   button("Clear idle…", () => this.clearIdle(), "secondary",
                          { "data-test": "clear-idle" }),
                   this.idleError);
    this.element = h("section", { class: "sa-section", "aria-labelledby": "sa-sessions-title" },
                     h("h2", { id: "sa-sessions-title", class: "sa-section-title" }, "Sessions"),
                     form, this.message, this.table.element);
  }

  async refresh() {
    const r = await this.ctx.run("shareadm", ["connections", "list"]);
    if (r.ok)
      this.table.setRows(r.doc.connections);
    return r;
  }

  async details(c, content) {
    const [show, shares] = await Promise.all([
      this.ctx.run("shareadm", ["connections", "show", String(c.id)]),
      this.ctx.run("shareadm", ["connections", "shares", String(c.id)]),
    ]);
    if (!show.ok) {
      replace(content, alert("danger", "Details not available", failureText(show.error)));
      return;
    }
    const d = show.doc;
    const pairs = [
      ["Workstation", d.workstation], ["Authentication", d.auth],
      ["Signed", d.signed ? "yes" : "no"], ["Encrypted", d.encrypted ? "yes" : "no"],
      ["Logged in", d.login_time_rfc3339],
      ["Read / written", `${d.bytes_read} / ${d.bytes_written} bytes`],
      ["Security equivalences", (d.security_equivalences || []).join(", ") || "none"],
    ];
    const mapped = shares.ok
      ? h("ul", { class: "sa-list" }, shares.doc.shares.map(s => h(
        "li", {}, `${s.name} (${s.volume}:${s.path}), ${s.open_files ?? 0} open files`)))
      : alert("warning", "Mapped shares not available", failureText(shares.error));
    const files = (d.files || []).map(f => h("li", {}, `${f.path} (${f.access})`));
    replace(content,
            h("dl", { class: "pf-c-description-list pf-m-horizontal pf-m-compact" },
              pairs.map(([t, v]) => h("div", { class: "pf-c-description-list__group" },
                                       h("dt", { class: "pf-c-description-list__term" }, t),
                                       h("dd", {}, v)))),
            h("h3", {}, "Mapped shares"), mapped,
            h("h3", {}, "Open files"), files.length ? h("ul", { class: "sa-list" }, files) : "none");
  }

  async clearIdle() {
    replace(this.idleError);
    replace(this.message);
    // The tools check the number; the page passes what was typed.
    const args = ["clear-connections", "--type", "ALL", "--idle", this.idle.value.trim(),
                  "--count", "ALL"];
    const preview = await this.ctx.run("shareadm", [...args, "--dry-run"]);
    if (!preview.ok) {
      replace(this.idleError, failureText(preview.error));
      return;
    }
    const list = preview.doc.connections || [];
    if (list.length === 0) {
      replace(this.message, alert("info", "No connection is idle that long"));
      return;
    }
    const ok = await confirmDialog({
      title: `Clear ${preview.doc.would_clear} idle connections?`,
      body: h("ul", { class: "sa-list", "data-test": "preview" }, list.map(c => h(
        "li", {}, `${c.id}: ${c.null_session ? "(null session)" : c.user} at ${c.address}, idle ${duration(c.idle_seconds)}`))),
      confirmLabel: "Clear",
    });
    if (!ok)
      return;
    const done = await this.ctx.run("shareadm", args);
    replace(this.message, done.ok
      ? alert("success", `Cleared ${done.doc.cleared} connections; ${done.doc.remaining} remain.`)
      : alert("danger", "Not cleared", failureText(done.error)));
    await this.ctx.refreshNow();
  }
}
