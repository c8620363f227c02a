// SPDX-License-Identifier: Apache-2.0
// The server options set by key (a value per key: cache sizes by kind, sharing by server) or as
// a set of members added and removed one at a time. Every change goes through the tool's setter,
// which checks it; what shows as stored is what `config export` reads back afterwards.
import { h, replace, button, alert } from "./dom.js";
import { failureText, EXIT_REJECTED, EXIT_REFUSED } from "./tools.js";
import { Field } from "./parts.js";

// The setter's arguments. Keys fixed by the option (cache kinds) are words of the value's own
// rule, KEY=VALUE in one argument; open keys (server names) have a rule of their own and are an
// argument of their own.
export function keyedArgs(name, setting, key, value) {
  return setting.keys.length ? ["option", name, `${key.toUpperCase()}=${value}`]
    : ["option", name, key, value];
}

// Named members (virtual servers, DNS entries) carry an address when added.
export function memberArgs(name, setting, action, member, address) {
  const args = ["option", name, action, member];
  return setting.named && action === "add" && address ? [...args, "--ip", address] : args;
}

export const memberName = m => (m !== null && typeof m === "object" ? m.name : String(m));
const memberText = m => (m && m.address ? `${m.name} (${m.address})` : memberName(m));
const valueText = v => (v === null || v === undefined ? "" : String(v));

// A choice for a rule of words (YES/NO), text for anything else.
function valueControl(rule) {
  const words = rule && rule.kind === "keyword" ? rule.words : [];
  return words.length
    ? h("select", { class: "pf-c-form-control" }, h("option", { value: "" }, "—"),
        words.map(w => h("option", { value: w }, w)))
    : h("input", { class: "pf-c-form-control", type: "text" });
}

// A value the tool rejects or the server refuses belongs to the field the tool names (the first
// one when it names none here); anything else, such as a silent server, to the message line.
function showRefusal(fields, message, title, r) {
  if (r.status === EXIT_REJECTED || r.status === EXIT_REFUSED) {
    const field = fields.find(f => f.argument === r.error.argument) || fields[0];
    field.show(failureText(r.error));
    field.input.focus();
  } else {
    replace(message, alert("danger", title, failureText(r.error)));
  }
}

let seq = 0;

class Setting {
  // readBack(): runs `config export` and updates every view of the options.
  constructor(ctx, name, setting, rules, readBack) {
    Object.assign(this, { ctx, name, setting, readBack });
    this.valueRule = rules[setting.value_rule] || null;
    this.keyRule = rules[setting.key_rule] || null;
    this.id = `sa-setting-${++seq}`;
    this.message = h("div", { class: "sa-message", "aria-live": "polite" });
    this.body = h("div", {});
    this.element = h("section", { class: "sa-subsection", "data-option": name,
                                  "aria-labelledby": `${this.id}-title` },
                     h("h3", { id: `${this.id}-title` }, name),
                     h("p", { class: "pf-c-form__helper-text" }, this.accepts()),
                     this.body, this.message);
  }

  accepts() {
    const parts = [this.setting.help];
    if (this.valueRule)
      parts.push(`Accepts: ${this.valueRule.accepted}`);
    return parts.join(". ") + ".";
  }

  field(label, argument, control, hook) {
    const f = new Field({ id: `${this.id}-${++seq}`, label, argument, control });
    if (hook)
      f.element.setAttribute("data-field", hook);
    return f;
  }

  async change(args, fields, title, done) {
    for (const f of fields)
      f.clear();
    replace(this.message);
    const r = await this.ctx.run("shareadm", args);
    if (!r.ok) {
      showRefusal(fields, this.message, title, r);
      return false;
    }
    const exported = await this.readBack();
    if (exported.ok)
      replace(this.message, alert("success", done(exported.doc.options || {})));
    return true;
  }
}

// One row per key with its value; open keys also get a row for a new key.
export class KeyedSetting extends Setting {
  constructor(...args) {
    super(...args);
    this.rows = new Map();
    this.list = h("div", { class: "sa-options" });
    this.body.append(this.list);
    if (!this.setting.keys.length) {
      const key = this.field("New key", null, undefined, "key");
      const value = this.field("Value", "VALUE", valueControl(this.valueRule), "value");
      this.body.append(h("form", {
        class: "sa-toolbar", "aria-label": `Add to ${this.name}`, "data-test": "new-key",
        onsubmit: e => { e.preventDefault(); this.setNew(key, value); },
      }, key.element, value.element,
      h("button", { type: "submit", class: "pf-c-button pf-m-secondary" }, "Set")));
    }
  }

  show(stored) {
    const current = stored && typeof stored === "object" ? stored : {};
    const keys = this.setting.keys.length ? this.setting.keys : Object.keys(current);
    // Rows are kept while the keys stay, so a refresh does not undo what is being typed.
    if (keys.join("\n") !== [...this.rows.keys()].join("\n")) {
      this.rows.clear();
      replace(this.list, keys.map(k => this.row(k)));
      for (const [k, row] of this.rows)
        row.field.input.value = valueText(current[k]);
    }
    for (const [k, row] of this.rows)
      replace(row.stored, valueText(current[k]));
  }

  row(key) {
    const argument = this.setting.keys.length ? "SETTING" : "VALUE";
    const field = this.field(this.setting.keys.length ? key.toUpperCase() : key, argument,
                             valueControl(this.valueRule));
    const stored = h("span", { "data-test": "stored" });
    this.rows.set(key, { field, stored });
    field.element.setAttribute("data-entry", key);
    field.element.append(
      h("p", { class: "pf-c-form__helper-text" }, "Stored: ", stored),
      button("Set", () => this.set(key, field), "secondary",
             { "aria-label": `Set ${this.name} ${key}`, "data-test": "set" }));
    return field.element;
  }

  set(key, field) {
    return this.setKey(key, field.input.value, [field]);
  }

  async setNew(key, value) {
    if (await this.setKey(key.input.value, value.input.value, [key, value]))
      key.input.value = value.input.value = "";
  }

  setKey(key, value, fields) {
    const stored = o => valueText((o[this.name] || {})[key]);
    return this.change(keyedArgs(this.name, this.setting, key, value), fields,
                       `${this.name} ${key} not set`,
                       o => `${this.name} ${key} stored as ${stored(o)}.`);
  }
}

// The members as a list with remove, and a form to add one (with its address when named).
export class SetSetting extends Setting {
  constructor(...args) {
    super(...args);
    this.items = h("ul", { class: "sa-list", "data-test": "members" });
    this.nameField = this.field("Name", null, undefined, "name");
    const fields = [this.nameField];
    if (this.setting.named) {
      this.addressField = this.field("Address", "--ip", undefined, "address");
      fields.push(this.addressField);
    }
    this.body.append(this.items, h("form", {
      class: "sa-toolbar", "aria-label": `Add to ${this.name}`, "data-test": "add",
      onsubmit: e => { e.preventDefault(); this.add(fields); },
    }, fields.map(f => f.element),
    h("button", { type: "submit", class: "pf-c-button pf-m-secondary" }, "Add")));
  }

  show(stored) {
    const members = Array.isArray(stored) ? stored : [];
    replace(this.items, members.length ? members.map(m => h(
      "li", { "data-name": memberName(m) }, memberText(m), " ",
      button("Remove", () => this.remove(memberName(m)), "link",
             { "aria-label": `Remove ${memberName(m)} from ${this.name}`,
               "data-test": "remove" }))) : h("li", {}, "none"));
  }

  async add(fields) {
    const member = this.nameField.input.value;
    const address = this.addressField ? this.addressField.input.value : "";
    if (await this.change(memberArgs(this.name, this.setting, "add", member, address), fields,
                          `${member} not added`, () => `${member} added to ${this.name}.`))
      for (const f of fields)
        f.input.value = "";
  }

  async remove(member) {
    replace(this.message);
    const r = await this.ctx.run("shareadm", memberArgs(this.name, this.setting, "remove", member));
    if (!r.ok) {
      replace(this.message, alert("danger", `${member} not removed`, failureText(r.error)));
      return;
    }
    await this.readBack();
    replace(this.message, alert("success", `${member} removed from ${this.name}.`));
  }
}
