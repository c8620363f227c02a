// SPDX-License-Identifier: Apache-2.0
// Server options as a form: the option list and accepted values from the facts file, the current
// values in setter form from `config export`, each change read back by the setter and shown as
// stored. Below: the invalid users and the user contexts, with add and remove.
import { h, replace, button, alert } from "./dom.js";
import { failureText } from "./tools.js";
import { Field, section, messageArea } from "./parts.js";
import { NameList } from "./namelist.js";

// The package links the tools' facts file here; without it only the names are known.
const FACTS_URL = "facts.json";

async function loadFacts() {
  try {
    const response = await fetch(FACTS_URL);
    return response.ok ? (await response.json()).options ?? null : null;
  } catch (e) {
    return null;
  }
}

// What an option accepts, as a person reads it.
export function acceptedText(fact) {
  if (!fact)
    return "";
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
    // Only single values here; keyed and listed options have their own commands.
    const names = facts ? Object.keys(facts)
      : Object.keys(current).filter(n => typeof current[n] !== "object");
    if (this.rows.size === 0) {
      replace(this.form, names.map(n => this.row(n, facts ? facts[n] : null)));
      // Each field starts at the stored value, so "Set" without a change changes nothing.
      for (const [name, row] of this.rows)
        row.field.input.value = setterText(current[name]);
    }
    for (const [name, row] of this.rows)
      replace(row.stored, setterText(current[name]));
    await Promise.all([this.invalidUsers.refresh(), this.contexts.refresh()]);
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
