// SPDX-License-Identifier: Apache-2.0
// Server options as a form: the option list and accepted values from the facts file, the current
// values in setter form from `config export`, each change read back by the setter and shown as
// stored. Then the options set by key or as sets, and the invalid users and the user contexts.
import { h, replace, button, alert } from "./dom.js";
import { failureText } from "./tools.js";
import { Field, section, messageArea } from "./parts.js";
import { NameList } from "./namelist.js";
import { KeyedSetting, SetSetting } from "./optionsets.js";

// The package links the tools' facts file here; without it only the names are known.
const FACTS_URL = "facts.json";

async function loadFacts() {
  try {
    const response = await fetch(FACTS_URL);
    return response.ok ? await response.json() : null;
  } catch (e) {
    return null;
  }
}

// What an option accepts, as a person reads it.
export function acceptedText(fact) {
  if (!fact)
    return "";
  if (fact.accepted)
    return fact.accepted;
  const words = (fact.keywords || []).map(k => k.word);
  if (words.length)
    return words.join(", ");
  if (fact.kind === "text" || fact.kind === "field")
    return fact.width ? `text, up to ${fact.width - 1} bytes` : "text";
  return `${fact.min} to ${fact.max}`;
}

export const setterText = v => (v === null || v === undefined ? "" : String(v));

export class Options {
  constructor(ctx) {
    this.ctx = ctx;
    this.rows = new Map();
    this.settings = [];
    this.settingsArea = h("div", {});
    this.message = messageArea();
    this.form = h("div", { class: "sa-options", "data-test": "options" }, "Loading…");
    this.invalidUsers = new NameList(ctx, {
      id: "invalid-users", title: "Invalid users", label: "User",
      list: ["invalid-users", "list"], add: ["invalid-users", "add"],
      remove: ["invalid-users", "remove"],
      names: doc => (doc.invalid_users || doc.users || []).map(u => u.name ?? u.user ?? u),
    });
    this.contexts = new NameList(ctx, {
      id: "user-contexts", title: "User contexts", label: "Context",
      list: ["user-contexts", "list"], add: ["user-contexts", "add"],
      remove: ["user-contexts", "remove"],
      names: doc => (doc.user_contexts || doc.contexts || []).map(c => c.context ?? c.name ?? c),
    });
    this.element = section("options", "Server options", this.message, this.form,
                           this.settingsArea,
                           this.invalidUsers.element, this.contexts.element);
  }

  async refresh() {
    const [facts, exported] = await Promise.all([
      this.facts ? this.facts : loadFacts(),
      this.ctx.run("shareadm", ["config", "export"]),
    ]);
    this.facts = facts;
    if (!exported.ok) {
      replace(this.message, alert("danger", "Options not available", failureText(exported.error)));
      return exported;
    }
    replace(this.message);
    const current = exported.doc.options || {};
    if (this.rows.size === 0)
      this.build(facts, current);
    this.show(current);
    await Promise.all([this.invalidUsers.refresh(), this.contexts.refresh()]);
    return exported;
  }

  // Without the facts only the single values are known, by name: how keyed and set options
  // are set is in the facts.
  build(facts, current) {
    const singles = facts ? Object.entries(facts.options || {})
      : Object.keys(current).filter(n => typeof current[n] !== "object").map(n => [n, null]);
    const settings = Object.entries(facts?.settings || {});
    const rules = facts?.value_rules || {};
    for (const [name, s] of settings.filter(([, s]) => s.shape === "single"))
      singles.push([name, { help: s.help.replace(/^Set the /, ""),
                            accepted: rules[s.value_rule]?.accepted ?? "" }]);
    replace(this.form, singles.map(([n, fact]) => this.row(n, fact)));
    // Each field starts at the stored value, so "Set" without a change changes nothing.
    for (const [name, row] of this.rows)
      row.field.input.value = setterText(current[name]);
    const readBack = () => this.readBack();
    this.settings = settings.filter(([, s]) => s.shape !== "single").map(([name, s]) =>
      new (s.shape === "keyed" ? KeyedSetting : SetSetting)(this.ctx, name, s, rules, readBack));
    replace(this.settingsArea, this.settings.map(s => s.element));
  }

  show(current) {
    for (const [name, row] of this.rows)
      replace(row.stored, setterText(current[name]));
    for (const s of this.settings)
      s.show(current[s.name]);
  }

  // What the server holds after a change, as the export reads it.
  async readBack() {
    const exported = await this.ctx.run("shareadm", ["config", "export"]);
    if (exported.ok)
      this.show(exported.doc.options || {});
    else
      replace(this.message, alert("danger", "Options not read back", failureText(exported.error)));
    return exported;
  }

  row(name, fact) {
    const words = fact ? (fact.keywords || []).map(k => k.word) : [];
    const control = words.length
      ? h("select", { class: "pf-c-form-control" }, h("option", { value: "" }, "—"),
          words.map(w => h("option", { value: w }, w)))
      : h("input", { class: "pf-c-form-control", type: "text" });
    const field = new Field({ id: `sa-option-${name}`, label: name, argument: "VALUE", control });
    const stored = h("span", { "data-test": "stored" });
    const row = { field, stored };
    this.rows.set(name, row);
    field.element.setAttribute("data-option", name);
    field.element.append(
      h("p", { class: "pf-c-form__helper-text" },
        fact ? `${fact.help}. Accepts: ${acceptedText(fact)}. ` : "", "Stored: ", stored),
      button("Set", () => this.set(name), "secondary",
             { "aria-label": `Set ${name}`, "data-test": "set" }));
    return field.element;
  }

  async set(name) {
    const { field, stored } = this.rows.get(name);
    field.clear();
    // The setter checks the value and reads back what the server stored.
    const r = await this.ctx.run("shareadm", ["option", name, field.input.value]);
    if (!r.ok) {
      field.show(failureText(r.error));
      return;
    }
    replace(stored, setterText(r.doc.value));
    replace(this.message, alert("success", `${name} stored as ${setterText(r.doc.value) || "empty"}.`));
  }
}
