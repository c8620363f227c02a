// SPDX-License-Identifier: Apache-2.0
// Shares: the table, creating one, and removing one after saying how many clients use it.
import { h, replace, button, alert, confirmDialog, DataTable } from "./dom.js";
import { failureText } from "./tools.js";

const yesNo = v => (v ? "yes" : "no");

// The form's fields, keyed by the argument name the tools put into their error document, so a
// rejection or refusal lands next to the field it concerns.
const FIELDS = [
  { id: "name", label: "Name", argument: "NAME", required: true },
  { id: "path", label: "Path (VOLUME:/directory)", argument: "LOCATION", required: true },
  { id: "comment", label: "Comment", argument: "--comment" },
  { id: "max-users", label: "User limit (0: none)", argument: "--max-users" },
];
const SWITCHES = [
  { id: "encrypt-data", label: "Encrypt data" },
  { id: "folder-redirection", label: "Folder redirection" },
  { id: "atm-backup", label: "ATM backup" },
];

export class Shares {
  constructor(ctx) {
    this.ctx = ctx;
    this.message = h("div", { class: "sa-message", "aria-live": "polite" });
    this.table = new DataTable({
      label: "Shares",
      rowKey: s => s.name,
      columns: [
        { key: "name", label: "Name" },
        { key: "type_name", label: "Type" },
        { key: "full_path", label: "Path" },
        { key: "comment", label: "Comment" },
        { key: "max_users", label: "Limit", value: s => (s.max_users ? String(s.max_users) : "none") },
        { key: "encrypt_data", label: "Encrypted", value: s => yesNo(s.encrypt_data) },
        { key: "clients", label: "Clients", value: s => String(s.clients ?? 0),
          sort: s => s.clients ?? 0 },
      ],
      actions: s => (s.type_name === "directory"
        ? button("Remove…", () => this.remove(s.name), "secondary",
                 { "aria-label": `Remove share ${s.name}`, "data-test": "remove" })
        : null),
    });
    this.form = this.createForm();
    this.element = h("section", { class: "sa-section", "aria-labelledby": "sa-shares-title" },
                     h("h2", { id: "sa-shares-title", class: "sa-section-title" }, "Shares"),
                     button("Create share…", () => this.toggleForm(true), "primary",
                            { "data-test": "create-share" }),
                     this.form, this.message, this.table.element);
  }

  createForm() {
    this.inputs = {};
    this.errors = {};
    const groups = FIELDS.map(f => {
      const input = h("input", { class: "pf-c-form-control", type: "text", id: `sa-share-${f.id}`,
                                 name: f.id, required: f.required,
                                 "aria-describedby": `sa-share-${f.id}-error` });
      this.inputs[f.id] = input;
      this.errors[f.argument] = h("p", { class: "pf-c-form__helper-text pf-m-error",
                                         id: `sa-share-${f.id}-error`, "aria-live": "polite",
                                         "data-error-for": f.id });
      return h("div", { class: "pf-c-form__group" },
               h("label", { class: "pf-c-form__label", for: input.id }, f.label),
               input, this.errors[f.argument]);
    });
    const switches = SWITCHES.map(s => {
      const box = h("input", { type: "checkbox", class: "pf-c-check__input", id: `sa-share-${s.id}` });
      this.inputs[s.id] = box;
      return h("div", { class: "pf-c-check" }, box,
               h("label", { class: "pf-c-check__label", for: box.id }, s.label));
    });
    this.formError = h("div", { "aria-live": "polite" });
    const form = h("form", { class: "pf-c-form sa-form", hidden: true, "aria-label": "Create share",
                             onsubmit: e => { e.preventDefault(); this.create(); } },
                   ...groups, h("div", { class: "pf-c-form__group" }, ...switches), this.formError,
                   h("div", { class: "pf-c-form__actions" },
                     h("button", { type: "submit", class: "pf-c-button pf-m-primary" }, "Create"),
                     button("Cancel", () => this.toggleForm(false), "link")));
    return form;
  }

  toggleForm(open) {
    this.form.hidden = !open;
    this.clearErrors();
    if (open)
      this.inputs.name.focus();
  }

  clearErrors() {
    for (const e of Object.values(this.errors))
      replace(e);
    for (const i of Object.values(this.inputs))
      i.removeAttribute("aria-invalid");
    replace(this.formError);
  }

  async refresh() {
    const r = await this.ctx.run("shareadm", ["share", "list"]);
    if (r.ok)
      this.table.setRows(r.doc.shares);
    return r;
  }

  async create() {
    this.clearErrors();
    const v = id => this.inputs[id].value;
    // Every value goes to the tool as typed: its checks and messages are the ones that count.
    const args = ["share", "add", v("name"), v("path")];
    if (v("comment") !== "")
      args.push("--comment", v("comment"));
    if (v("max-users") !== "")
      args.push("--max-users", v("max-users"));
    for (const s of SWITCHES)
      args.push(`--${s.id}`, this.inputs[s.id].checked ? "yes" : "no");
    const r = await this.ctx.run("shareadm", args);
    if (!r.ok) {
      const field = this.errors[r.error.argument];
      const text = failureText(r.error);
      if (field) {
        replace(field, text);
        const input = FIELDS.find(f => f.argument === r.error.argument);
        this.inputs[input.id].setAttribute("aria-invalid", "true");
        this.inputs[input.id].focus();
      } else {
        replace(this.formError, alert("danger", "Not created", text));
      }
      return;
    }
    replace(this.message, alert("success", `Share ${r.doc.name ?? v("name")} created.`));
    for (const f of FIELDS)
      this.inputs[f.id].value = "";
    this.form.hidden = true;
    await this.ctx.refreshNow();
  }

  async remove(name) {
    replace(this.message);
    // Ask the server now: the count in the table may be a refresh old.
    const show = await this.ctx.run("shareadm", ["share", "show", name]);
    if (!show.ok) {
      replace(this.message, alert("danger", `Share ${name} not removed`, failureText(show.error)));
      return;
    }
    const clients = show.doc.clients ?? 0;
    const ok = await confirmDialog({
      title: `Remove share ${name}?`,
      body: h("p", { "data-test": "clients" }, clients === 0
        ? "No client uses this share."
        : `${clients} ${clients === 1 ? "client uses" : "clients use"} this share and will lose it.`),
      confirmLabel: "Remove",
    });
    if (!ok)
      return;
    const r = await this.ctx.run("shareadm", ["share", "remove", name]);
    replace(this.message, r.ok
      ? alert("success", `Share ${name} removed.`)
      : alert("danger", `Share ${name} not removed`, failureText(r.error)));
    await this.ctx.refreshNow();
  }
}
