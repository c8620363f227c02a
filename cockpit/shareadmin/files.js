// SPDX-License-Identifier: Apache-2.0
// Open files by volume, user or path prefix. Every close is previewed with the tool's dry run,
// confirmed, and then reported with the count the server really closed.
import { h, replace, button, alert, confirmDialog, DataTable } from "./dom.js";
import { failureText } from "./tools.js";

export class Files {
  constructor(ctx) {
    this.ctx = ctx;
    this.message = h("div", { class: "sa-message", "aria-live": "polite" });
    this.volume = h("select", { class: "pf-c-form-control", id: "sa-files-volume",
                                onchange: () => this.refresh() });
    this.user = h("input", { class: "pf-c-form-control", type: "text", id: "sa-files-user" });
    this.prefix = h("input", { class: "pf-c-form-control", type: "text", id: "sa-files-prefix",
                               placeholder: "VOLUME:/directory" });
    this.filterError = h("p", { class: "pf-c-form__helper-text pf-m-error", "aria-live": "polite" });
    this.table = new DataTable({
      label: "Open files",
      rowKey: f => `${f.connection}:${f.file_id}`,
      columns: [
        { key: "path", label: "Path" },
        { key: "user", label: "User" },
        { key: "address", label: "Address" },
        { key: "connection", label: "Connection" },
        { key: "access", label: "Access" },
        { key: "opened_at", label: "Opened", value: f => f.opened_at_rfc3339 },
      ],
      actions: f => h("span", { class: "sa-actions" },
                      button("Close…", () => this.close(["--path", f.path]), "secondary",
                             { "aria-label": `Close ${f.path}`, "data-test": "close-file" }),
                      button("Close connection's…", () => this.close(["--connection", String(f.connection)]),
                             "secondary", { "aria-label": `Close the files of connection ${f.connection}`,
                                            "data-test": "close-connection" })),
    });
    const filters = h("form", { class: "sa-toolbar", "aria-label": "Open file filters",
                                onsubmit: e => { e.preventDefault(); this.refresh(); } },
                      h("label", { for: this.volume.id }, "Volume"), this.volume,
                      h("label", { for: this.user.id }, "User"), this.user,
                      h("label", { for: this.prefix.id }, "Path prefix"), this.prefix,
                      h("button", { type: "submit", class: "pf-c-button pf-m-secondary" }, "Show"),
                      button("Close all in volume…", () => this.close(["--volume", this.volume.value]),
                             "danger", { "data-test": "close-volume" }),
                      this.filterError);
    this.element = h("section", { class: "sa-section", "aria-labelledby": "sa-files-title" },
                     h("h2", { id: "sa-files-title", class: "sa-section-title" }, "Open files"),
                     filters, this.message, this.table.element);
  }

  async loadVolumes() {
    const r = await this.ctx.run("sharemon", ["volumes"]);
    if (!r.ok)
      return r;
    const current = this.volume.value;
    const names = r.doc.volumes.map(v => v.name);
    replace(this.volume, names.map(n => h("option", { value: n }, n)));
    if (names.includes(current))
      this.volume.value = current;
    return r;
  }

  async refresh() {
    const vols = await this.loadVolumes();
    if (!vols.ok)
      return vols;
    replace(this.filterError);
    const args = ["files", "list", "--volume", this.volume.value];
    if (this.user.value.trim())
      args.push("--user", this.user.value.trim());
    if (this.prefix.value.trim())
      args.push("--path-prefix", this.prefix.value.trim());
    const r = await this.ctx.run("shareadm", args);
    if (r.ok)
      this.table.setRows(r.doc.open_files);
    else if (r.status !== 3)
      replace(this.filterError, failureText(r.error));
    return r;
  }

  // selector: ["--path", P] or ["--connection", ID] or ["--volume", V].
  async close(selector) {
    replace(this.message);
    const preview = await this.ctx.run("shareadm", ["files", "close", ...selector, "--dry-run"]);
    if (!preview.ok) {
      replace(this.message, alert("danger", "Nothing closed", failureText(preview.error)));
      return;
    }
    const list = preview.doc.files || [];
    if (list.length === 0) {
      replace(this.message, alert("info", "No open file matches"));
      return;
    }
    const ok = await confirmDialog({
      title: `Close ${preview.doc.would_close} open ${preview.doc.would_close === 1 ? "file" : "files"}?`,
      body: h("ul", { class: "sa-list", "data-test": "preview" },
              list.map(f => h("li", {}, `${f.path} (connection ${f.connection}, ${f.user})`))),
      confirmLabel: "Close files",
    });
    if (!ok)
      return;
    const done = await this.ctx.run("shareadm", ["files", "close", ...selector]);
    replace(this.message, done.ok
      ? alert("success", `Closed ${done.doc.closed} open ${done.doc.closed === 1 ? "file" : "files"}.`)
      : alert("danger", "Not closed", failureText(done.error)));
    await this.ctx.refreshNow();
  }
}
