// SPDX-License-Identifier: Apache-2.0
// Client connections, their details on demand, and clearing idle ones after a preview.
import { h, replace, alert, button, duration, DataTable } from "./dom.js";
import { failureText } from "./tools.js";
import { section, messageArea, previewAndRun, plural } from "./parts.js";
import { closeFiles } from "./files.js";

const who = c => (c.null_session ? "(null session)" : c.user);

export class Sessions {
  constructor(ctx) {
    this.ctx = ctx;
    this.message = messageArea();
    this.table = new DataTable({
      label: "Connections",
      rowKey: c => c.id,
      columns: [
        { key: "id", label: "ID" },
        { key: "user", label: "User", value: who },
        { key: "address", label: "Address" },
        { key: "dialect", label: "Dialect" },
        { key: "idle_seconds", label: "Idle", value: c => duration(c.idle_seconds) },
        { key: "open_files", label: "Open files" },
      ],
      expand: (c, content) => this.details(c, content),
      actions: c => button("Close files…", () => closeFiles(this.ctx, this.message,
                                                            ["--connection", String(c.id)]),
                           "secondary", { "aria-label": `Close the files of connection ${c.id}`,
                                          "data-test": "close-connection" }),
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
    this.element = section("sessions", "Sessions", form, this.message, this.table.element);
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
    // The tools check the number; the page passes what was typed.
    const args = ["clear-connections", "--type", "ALL", "--idle", this.idle.value.trim(),
                  "--count", "ALL"];
    await previewAndRun(this.ctx, this.message, {
      preview: [...args, "--dry-run"],
      run: args,
      items: doc => (doc.connections || []).map(c => `${c.id}: ${who(c)} at ${c.address}, idle ${duration(c.idle_seconds)}`),
      title: doc => `Clear ${plural(doc.would_clear, "idle connection", "idle connections")}?`,
      confirmLabel: "Clear",
      done: doc => `Cleared ${plural(doc.cleared, "connection", "connections")}; ${doc.remaining} remain.`,
      nothing: "No connection is idle that long",
      fieldError: this.idleError,
    });
  }
}
