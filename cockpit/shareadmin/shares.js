// SPDX-License-Identifier: Apache-2.0
// Shares: the table; creating, editing and renaming one; removing one after saying how many
// clients use it.
import { h, replace, button, alert, confirmDialog, DataTable } from "./dom.js";
import { failureText } from "./tools.js";
import { Field, section, messageArea, showFailure, plural } from "./parts.js";

const yesNo = v => (v ? "yes" : "no");

// Each field with the argument that carries it to `share add` and to `share modify` (the names
// the tools' error documents use) and the key of the stored share it starts from when editing.
const FIELDS = [
  { id: "name", label: "Name", add: "NAME", modify: "--new-name", key: "name" },
  { id: "path", label: "Path (VOLUME:/directory)", add: "LOCATION", modify: "--path",
    key: "full_path" },
  { id: "comment", label: "Comment", add: "--comment", modify: "--comment", key: "comment" },
  { id: "max-users", label: "User limit (0: none)", add: "--max-users", modify: "--max-users",
    key: "max_users" },
];
const SWITCHES = [
  { id: "encrypt-data", label: "Encrypt data", key: "encrypt_data" },
  { id: "folder-redirection", label: "Folder redirection", key: "folder_redirection" },
  { id: "atm-backup", label: "ATM backup", key: "atm_backup" },
];

// The arguments for a create (every field typed) or an edit (only what differs from the share).
export function shareArgs(values, share) {
  if (!share) {
    const args = ["share", "add", values.name, values.path];
    if (values.comment !== "")
      args.push("--comment", values.comment);
    if (values["max-users"] !== "")
      args.push("--max-users", values["max-users"]);
    for (const s of SWITCHES)
      args.push(`--${s.id}`, values[s.id] ? "yes" : "no");
    return args;
  }
  const args = ["share", "modify", share.name];
  for (const f of FIELDS)
    if (values[f.id] !== String(share[f.key] ?? ""))
      args.push(f.modify, values[f.id]);
  for (const s of SWITCHES)
    if (values[s.id] !== Boolean(share[s.key]))
      args.push(`--${s.id}`, values[s.id] ? "yes" : "no");
  return args;
}

export class Shares {
  constructor(ctx) {
    this.ctx = ctx;
    this.editing = null;
    this.message = messageArea();
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
        ? h("span", { class: "sa-actions" },
            button("Edit…", () => this.open(s), "secondary",
                   { "aria-label": `Edit share ${s.name}`, "data-test": "edit" }),
            button("Remove…", () => this.remove(s.name), "secondary",
                   { "aria-label": `Remove share ${s.name}`, "data-test": "remove" }))
        : null),
    });
    this.form = this.createForm();
    this.element = section("shares", "Shares",
                           button("Create share…", () => this.open(null), "primary",
                                  { "data-test": "create-share" }),
                           this.form, this.message, this.table.element);
  }

  createForm() {
    this.fields = FIELDS.map(f => new Field({ id: `sa-share-${f.id}`, label: f.label }));
    this.switches = SWITCHES.map(s => h("input", { type: "checkbox", class: "pf-c-check__input",
                                                   id: `sa-share-${s.id}` }));
    this.formError = h("div", { "aria-live": "polite" });
    this.formTitle = h("h3", { class: "sa-form-title" });
    this.submit = h("button", { type: "submit", class: "pf-c-button pf-m-primary" }, "Create");
    return h("form", { class: "pf-c-form sa-form", hidden: true, "data-test": "share-form",
                       onsubmit: e => { e.preventDefault(); this.save(); } },
             this.formTitle, ...this.fields.map(f => f.element),
             h("div", { class: "pf-c-form__group" }, this.switches.map((box, i) => h(
               "div", { class: "pf-c-check" }, box,
               h("label", { class: "pf-c-check__label", for: box.id }, SWITCHES[i].label)))),
             this.formError,
             h("div", { class: "pf-c-form__actions" }, this.submit,
               button("Cancel", () => this.close(), "link")));
  }

  // share: null to create, else the stored share to edit.
  open(share) {
    this.editing = share;
    const title = share ? `Edit share ${share.name}` : "Create share";
    this.form.setAttribute("aria-label", title);
    replace(this.formTitle, title);
    replace(this.submit, share ? "Save" : "Create");
    FIELDS.forEach((f, i) => { this.fields[i].input.value = share ? String(share[f.key] ?? "") : ""; });
    SWITCHES.forEach((s, i) => { this.switches[i].checked = share ? Boolean(share[s.key]) : false; });
    this.form.hidden = false;
    this.clearErrors();
    this.fields[share ? 2 : 0].input.focus();
  }

  close() {
    this.form.hidden = true;
    this.editing = null;
    this.clearErrors();
  }

  clearErrors() {
    this.fields.forEach(f => f.clear());
    replace(this.formError);
  }

  async refresh() {
    const r = await this.ctx.run("shareadm", ["share", "list"]);
    if (r.ok)
      this.table.setRows(r.doc.shares);
    return r;
  }

  async save() {
    this.clearErrors();
    replace(this.message);
    const share = this.editing;
    const values = {};
    FIELDS.forEach((f, i) => { values[f.id] = this.fields[i].input.value; });
    SWITCHES.forEach((s, i) => { values[s.id] = this.switches[i].checked; });
    // Every value goes to the tool as typed: its checks and messages are the ones that count.
    const r = await this.ctx.run("shareadm", shareArgs(values, share));
    if (!r.ok) {
      FIELDS.forEach((f, i) => { this.fields[i].argument = share ? f.modify : f.add; });
      showFailure(this.fields, r.error, this.formError, share ? "Not changed" : "Not created");
      return;
    }
    const stored = r.doc.stored ?? {};
    const name = stored.name ?? r.doc.name ?? values.name;
    replace(this.message, alert("success", share ? `Share ${name} changed.` : `Share ${name} created.`,
                                h("span", { "data-test": "stored" }, storedText(stored))));
    this.close();
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
        : `${plural(clients, "client uses", "clients use")} this share and will lose it.`),
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

// What the server stored, as it reported it after the change.
function storedText(doc) {
  const limit = doc.max_users ? String(doc.max_users) : "none";
  return `Stored: ${doc.full_path ?? `${doc.volume}:${doc.path}`}, comment "${doc.comment ?? ""}", ` +
    `limit ${limit}, ${SWITCHES.map(s => `${s.label.toLowerCase()} ${yesNo(doc[s.key])}`).join(", ")}`;
}
