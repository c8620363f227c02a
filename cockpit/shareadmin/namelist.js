// SPDX-License-Identifier: Apache-2.0
// A list of names the server keeps (invalid users, user contexts) with add and remove.
import { h, replace, button, alert } from "./dom.js";
import { failureText } from "./tools.js";
import { Field } from "./parts.js";

export class NameList {
  // list/add/remove: shareadm arguments; names(doc) -> the names in the list's document.
  constructor(ctx, { id, title, label, list, add, remove, names }) {
    Object.assign(this, { ctx, list, add, remove, names });
    this.field = new Field({ id: `sa-${id}-name`, label });
    this.items = h("ul", { class: "sa-list", "data-test": id });
    this.message = h("div", { class: "sa-message", "aria-live": "polite" });
    this.element = h("section", { class: "sa-subsection", "aria-labelledby": `sa-${id}-title` },
                     h("h3", { id: `sa-${id}-title` }, title), this.items,
                     h("form", { class: "sa-toolbar", "aria-label": `Add to ${title}`,
                                 onsubmit: e => { e.preventDefault(); this.change(this.add, this.field.input.value); } },
                       this.field.element,
                       h("button", { type: "submit", class: "pf-c-button pf-m-secondary" }, "Add")),
                     this.message);
  }

  async refresh() {
    const r = await this.ctx.run("shareadm", this.list);
    if (!r.ok) {
      replace(this.items, h("li", {}, failureText(r.error)));
      return r;
    }
    const names = this.names(r.doc);
    replace(this.items, names.length ? names.map(n => h(
      "li", { "data-name": n }, n, " ",
      button("Remove", () => this.change(this.remove, n), "link",
             { "aria-label": `Remove ${n}`, "data-test": "remove" }))) : h("li", {}, "none"));
    return r;
  }

  async change(args, name) {
    this.field.clear();
    replace(this.message);
    const r = await this.ctx.run("shareadm", [...args, name]);
    if (!r.ok) {
      // A value the tool rejects belongs to the field; anything else to the list.
      if (args === this.add)
        this.field.show(failureText(r.error));
      else
        replace(this.message, alert("danger", `${name} not removed`, failureText(r.error)));
      return;
    }
    if (args === this.add)
      this.field.input.value = "";
    await this.refresh();
  }
}
