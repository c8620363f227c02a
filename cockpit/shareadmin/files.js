// SPDX-License-Identifier: Apache-2.0
// Open files of one volume or all, narrowed by user and path prefix. Every close is previewed
// with the tool's dry run, confirmed, and then reported with the count the server really closed.
import { h, replace, button, DataTable } from "./dom.js";
import { failureText, EXIT_UNREACHABLE } from "./tools.js";
import { section, messageArea, previewAndRun, plural } from "./parts.js";

const ALL = "";

// selector: ["--path", P], ["--connection", ID] or ["--volume", V].
export function closeFiles(ctx, message, selector) {
  const args = ["files", "close", ...selector];
  return previewAndRun(ctx, message, {
    preview: [...args, "--dry-run"],
    run: args,
    items: doc => (doc.files || []).map(f => `${f.path} (connection ${f.connection}, ${f.user})`),
    title: doc => `Close ${plural(doc.would_close, "open file", "open files")}?`,
    confirmLabel: "Close files",
    done: doc => `Closed ${plural(doc.closed, "open file", "open files")}.`,
    nothing: "No open file matches",
  });
}

// The volumes to list: the chosen one, else the prefix's, else all of them.
export function volumesToList(chosen, prefix, all) {
  if (chosen !== ALL)
    return [chosen];
  const colon = prefix.indexOf(":");
  return colon > 0 ? [prefix.slice(0, colon)] : all;
}

export class Files {
  constructor(ctx) {
    this.ctx = ctx;
    this.names = [];
    this.message = messageArea();
    this.volume = h("select", { class: "pf-c-form-control", id: "sa-files-volume",
                                onchange: () => this.refresh() });
    this.user = h("input", { class: "pf-c-form-control", type: "text", id: "sa-files-user" });
    this.prefix = h("input", { class: "pf-c-form-control", type: "text", id: "sa-files-prefix",
                               placeholder: "VOLUME:/directory" });
    this.filterError = h("p", { class: "pf-c-form__helper-text pf-m-error", "aria-live": "polite",
                                "data-test": "filter-error" });
    const close = selector => closeFiles(this.ctx, this.message, selector);
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
                      button("Close…", () => close(["--path", f.path]), "secondary",
                             { "aria-label": `Close ${f.path}`, "data-test": "close-file" }),
                      button("Close connection's…", () => close(["--connection", String(f.connection)]),
                             "secondary", { "aria-label": `Close the files of connection ${f.connection}`,
                                            "data-test": "close-connection" })),
    });
    this.closeVolume = button("Close all in volume…", () => close(["--volume", this.volume.value]),
                              "danger", { "data-test": "close-volume" });
    const filters = h("form", { class: "sa-toolbar", "aria-label": "Open file filters",
                                onsubmit: e => { e.preventDefault(); this.refresh(); } },
                      h("label", { for: this.volume.id }, "Volume"), this.volume,
                      h("label", { for: this.user.id }, "User"), this.user,
                      h("label", { for: this.prefix.id }, "Path prefix"), this.prefix,
                      h("button", { type: "submit", class: "pf-c-button pf-m-secondary" }, "Show"),
                      this.closeVolume, this.filterError);
    this.element = section("files", "Open files", filters, this.message, this.table.element);
  }

  async loadVolumes() {
    // Only volumes: `sharemon volumes` also lists shares, which the server refuses here.
    const r = await this.ctx.run("shareadm", ["share", "list", "--type", "volume"]);
    if (!r.ok)
      return r;
    const current = this.volume.value;
    this.names = r.doc.shares.map(v => v.name);
    replace(this.volume, h("option", { value: ALL }, "All volumes"),
            this.names.map(n => h("option", { value: n }, n)));
    this.volume.value = this.names.includes(current) ? current : ALL;
    this.closeVolume.disabled = this.volume.value === ALL;
    return r;
  }

  async refresh() {
    const vols = await this.loadVolumes();
    if (!vols.ok)
      return vols;
    replace(this.filterError);
    const extra = [];
    // The tools check what was typed; the page only leaves out empty filters.
    if (this.user.value.trim())
      extra.push("--user", this.user.value.trim());
    if (this.prefix.value.trim())
      extra.push("--path-prefix", this.prefix.value.trim());
    const volumes = volumesToList(this.volume.value, this.prefix.value.trim(), this.names);
    const results = await Promise.all(volumes.map(v => this.ctx.run(
      "shareadm", ["files", "list", "--volume", v, ...extra])));
    const failed = results.find(r => !r.ok);
    if (failed) {
      if (failed.status !== EXIT_UNREACHABLE)
        replace(this.filterError, failureText(failed.error));
      return failed;
    }
    this.table.setRows(results.flatMap(r => r.doc.open_files));
    return results[0] ?? vols;
  }
}
