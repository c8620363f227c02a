// SPDX-License-Identifier: Apache-2.0
// What the views share: a titled section with its message line, form fields whose error line a
// tool's error document can name, and the preview, confirm and run cycle of every close.
import { h, replace, alert, confirmDialog } from "./dom.js";
import { failureText, EXIT_REJECTED } from "./tools.js";

export const plural = (n, one, many) => `${n} ${n === 1 ? one : many}`;

export function section(id, title, ...children) {
  return h("section", { class: "sa-section", "aria-labelledby": `sa-${id}-title` },
           h("h2", { id: `sa-${id}-title`, class: "sa-section-title" }, title), ...children);
}

export function messageArea() {
  return h("div", { class: "sa-message", "aria-live": "polite" });
}

// A labelled control with an error line under it; `argument` is the name the tools give the
// value in their error documents.
export class Field {
  constructor({ id, label, argument, control }) {
    this.argument = argument;
    this.input = control || h("input", { class: "pf-c-form-control", type: "text" });
    this.input.id = id;
    this.error = h("p", { class: "pf-c-form__helper-text pf-m-error", id: `${id}-error`,
                          "aria-live": "polite", "data-error-for": id.replace(/^sa-[a-z]+-/, "") });
    this.input.setAttribute("aria-describedby", this.error.id);
    this.element = h("div", { class: "pf-c-form__group" },
                     h("label", { class: "pf-c-form__label", for: id }, label),
                     this.input, this.error);
  }

  show(text) {
    replace(this.error, text);
    this.input.setAttribute("aria-invalid", "true");
  }

  clear() {
    replace(this.error);
    this.input.removeAttribute("aria-invalid");
  }
}

// Puts a failure next to the field it names, or else into `fallback` as an alert.
export function showFailure(fields, error, fallback, title) {
  const text = failureText(error);
  const field = fields.find(f => f.argument && f.argument === error.argument);
  if (field) {
    field.show(text);
    field.input.focus();
  } else {
    replace(fallback, alert("danger", title, text));
  }
}

// The tools' dry run first, its list in a confirmation, then the real run and what it reports.
// preview/run: argument lists for shareadm; items(doc) -> texts; title(doc); done(doc) -> text;
// fieldError: where a rejected value's message goes, when a field holds what was typed.
export async function previewAndRun(ctx, message, { preview, run, items, title, confirmLabel,
                                                    done, nothing, fieldError }) {
  replace(message);
  if (fieldError)
    replace(fieldError);
  const dry = await ctx.run("shareadm", preview);
  if (!dry.ok) {
    if (fieldError && dry.status === EXIT_REJECTED)
      replace(fieldError, failureText(dry.error));
    else
      replace(message, alert("danger", "Nothing done", failureText(dry.error)));
    return false;
  }
  const list = items(dry.doc);
  if (list.length === 0) {
    replace(message, alert("info", nothing));
    return false;
  }
  const ok = await confirmDialog({
    title: title(dry.doc),
    body: h("ul", { class: "sa-list", "data-test": "preview" }, list.map(t => h("li", {}, t))),
    confirmLabel,
  });
  if (!ok)
    return false;
  const r = await ctx.run("shareadm", run);
  replace(message, r.ok ? alert("success", done(r.doc))
    : alert("danger", "Not done", failureText(r.error)));
  await ctx.refreshNow();
  return r.ok;
}
