// SPDX-License-Identifier: Apache-2.0
// Element helpers. Everything from the server is inserted as text (textContent or attribute
// values), never parsed as markup: share comments, user names and paths are whatever clients sent.

export function h(tag, attrs = {}, ...children) {
  const el = document.createElement(tag);
  for (const [key, value] of Object.entries(attrs)) {
    if (value === undefined || value === null || value === false)
      continue;
    if (key.startsWith("on"))
      el.addEventListener(key.slice(2), value);
    else if (key === "class")
      el.className = value;
    else
      el.setAttribute(key, value === true ? "" : String(value));
  }
  append(el, children);
  return el;
}

function append(el, children) {
  for (const child of children.flat()) {
    if (child === undefined || child === null || child === false)
      continue;
    el.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
}

export function replace(el, ...children) {
  el.replaceChildren();
  append(el, children);
}

export function button(label, onclick, variant = "secondary", attrs = {}) {
  return h("button", { type: "button", class: `pf-c-button pf-m-${variant}`, onclick, ...attrs },
           label);
}

export function alert(kind, title, detail) {
  return h("div", { class: `pf-c-alert pf-m-inline pf-m-${kind}`, role: "alert" },
           h("p", { class: "pf-c-alert__title" }, title),
           detail ? h("div", { class: "pf-c-alert__description" }, detail) : null);
}

export function duration(seconds) {
  const s = Number(seconds) || 0;
  if (s < 60)
    return `${s} s`;
  if (s < 3600)
    return `${Math.floor(s / 60)} min`;
  return `${Math.floor(s / 3600)} h ${Math.floor((s % 3600) / 60)} min`;
}

let dialogSeq = 0;

// A modal confirmation: resolves true when confirmed, false when cancelled (button, Escape or
// the backdrop). Focus moves into the dialog and back to where it was.
export function confirmDialog({ title, body, confirmLabel, danger = true }) {
  return new Promise(resolve => {
    const id = `sa-dialog-${++dialogSeq}`;
    const before = document.activeElement;
    const close = answer => {
      backdrop.remove();
      if (before && before.focus)
        before.focus();
      resolve(answer);
    };
    const ok = button(confirmLabel, () => close(true), danger ? "danger" : "primary",
                      { "data-test": "confirm" });
    const cancel = button("Cancel", () => close(false), "link", { "data-test": "cancel" });
    const box = h("div", {
      class: "pf-c-modal-box pf-m-sm", role: "dialog", "aria-modal": "true",
      "aria-labelledby": `${id}-title`, "aria-describedby": `${id}-body`,
    },
                  h("header", { class: "pf-c-modal-box__header" },
                    h("h1", { class: "pf-c-modal-box__title", id: `${id}-title` }, title)),
                  h("div", { class: "pf-c-modal-box__body", id: `${id}-body` }, body),
                  h("footer", { class: "pf-c-modal-box__footer" }, ok, cancel));
    const backdrop = h("div", { class: "pf-c-backdrop" },
                       h("div", { class: "pf-l-bullseye" }, box));
    box.addEventListener("keydown", e => {
      if (e.key === "Escape")
        close(false);
      if (e.key === "Tab") {
        // Keep focus inside the dialog.
        const items = [...box.querySelectorAll("button, input, select, textarea")];
        const last = items[items.length - 1];
        if (e.shiftKey && document.activeElement === items[0]) {
          last.focus();
          e.preventDefault();
        } else if (!e.shiftKey && document.activeElement === last) {
          items[0].focus();
          e.preventDefault();
        }
      }
    });
    document.body.append(backdrop);
    ok.focus();
  });
}

// A sortable, filterable, paged table. columns: [{key, label, value(row) -> text|Node,
// sort(row) -> comparable}]; rowKey(row) names a row for the tests and for expansion state.
export class DataTable {
  constructor({ label, columns, rowKey, actions, expand, pageSize = 100 }) {
    this.label = label;
    this.columns = columns;
    this.rowKey = rowKey;
    this.actions = actions;
    this.expand = expand;
    this.pageSize = pageSize;
    this.rows = [];
    this.sortKey = columns[0].key;
    this.descending = false;
    this.filterText = "";
    this.page = 0;
    this.expanded = new Set();
    this.filter = h("input", {
      class: "pf-c-form-control", type: "search", placeholder: "Filter",
      "aria-label": `Filter ${label}`, oninput: () => {
        this.filterText = this.filter.value.toLowerCase();
        this.page = 0;
        this.render();
      },
    });
    this.summary = h("span", { class: "sa-table-summary", "aria-live": "polite" });
    this.pager = h("div", { class: "sa-pager" });
    this.table = h("table", { class: "pf-c-table pf-m-compact pf-m-grid-md", role: "grid",
                              "aria-label": label });
    this.element = h("div", { class: "sa-table" },
                     h("div", { class: "sa-toolbar" }, this.filter, this.summary),
                     this.table, this.pager);
  }

  setRows(rows) {
    this.rows = rows;
    this.render();
  }

  cell(column, row) {
    return column.value ? column.value(row) : row[column.key];
  }

  visibleRows() {
    const column = this.columns.find(c => c.key === this.sortKey);
    const sortValue = row => (column.sort ? column.sort(row) : row[column.key]);
    const rows = this.rows.filter(row => !this.filterText || this.columns.some(c => {
      const v = this.cell(c, row);
      const text = v instanceof Node ? v.textContent : String(v ?? "");
      return text.toLowerCase().includes(this.filterText);
    }));
    rows.sort((a, b) => {
      const x = sortValue(a);
      const y = sortValue(b);
      const order = typeof x === "number" && typeof y === "number"
        ? x - y
        : String(x).localeCompare(String(y));
      return this.descending ? -order : order;
    });
    return rows;
  }

  header() {
    const cells = this.columns.map(c => {
      const sorted = c.key === this.sortKey;
      const sortButton = h("button", {
        type: "button", class: "pf-c-table__button", "data-sort": c.key,
        onclick: () => {
          this.descending = sorted ? !this.descending : false;
          this.sortKey = c.key;
          this.render();
        },
      }, h("span", { class: "pf-c-table__text" }, c.label),
                           h("span", { class: "pf-c-table__sort-indicator", "aria-hidden": "true" },
                             sorted ? (this.descending ? "▼" : "▲") : "↕"));
      return h("th", {
        class: `pf-c-table__sort${sorted ? " pf-m-selected" : ""}`, scope: "col",
        "aria-sort": sorted ? (this.descending ? "descending" : "ascending") : "none",
      }, sortButton);
    });
    const extra = [];
    if (this.expand)
      extra.push(h("td", { class: "pf-c-table__toggle" }));
    if (this.actions)
      extra.push(h("td", { class: "pf-c-table__action" }, h("span", { class: "sa-sr-only" }, "Actions")));
    return h("thead", {}, h("tr", {}, ...extra.slice(0, this.expand ? 1 : 0), ...cells,
                            ...extra.slice(this.expand ? 1 : 0)));
  }

  render() {
    const rows = this.visibleRows();
    const pages = Math.max(1, Math.ceil(rows.length / this.pageSize));
    this.page = Math.min(this.page, pages - 1);
    const shown = rows.slice(this.page * this.pageSize, (this.page + 1) * this.pageSize);
    const bodies = shown.map(row => this.renderRow(row));
    replace(this.table, this.header(), ...(bodies.length ? bodies : [
      h("tbody", {}, h("tr", {}, h("td", { colspan: this.columns.length + 2 }, "Nothing to show")))
    ]));
    replace(this.summary, `${rows.length} of ${this.rows.length}`);
    replace(this.pager);
    if (pages > 1) {
      this.pager.append(
        button("Previous", () => { this.page--; this.render(); }, "secondary",
               { disabled: this.page === 0 }),
        h("span", {}, ` Page ${this.page + 1} of ${pages} `),
        button("Next", () => { this.page++; this.render(); }, "secondary",
               { disabled: this.page >= pages - 1 }));
    }
  }

  renderRow(row) {
    const key = String(this.rowKey(row));
    const open = this.expanded.has(key);
    const cells = this.columns.map(c => h("td", { "data-label": c.label, "data-key": c.key },
                                          this.cell(c, row)));
    const tr = h("tr", { "data-row": key });
    if (this.expand) {
      const detailId = `sa-detail-${this.label.replace(/\W/g, "")}-${key.replace(/\W/g, "_")}`;
      tr.append(h("td", { class: "pf-c-table__toggle" },
                  h("button", {
                    type: "button", class: `pf-c-button pf-m-plain${open ? " pf-m-expanded" : ""}`,
                    "aria-expanded": open ? "true" : "false", "aria-controls": detailId,
                    "aria-label": `Details of ${key}`, "data-test": "expand",
                    onclick: () => {
                      if (open) this.expanded.delete(key); else this.expanded.add(key);
                      this.render();
                    },
                  }, open ? "▾" : "▸")));
    }
    tr.append(...cells);
    if (this.actions)
      tr.append(h("td", { class: "pf-c-table__action" }, this.actions(row)));
    const body = h("tbody", { class: open ? "pf-m-expanded" : "" }, tr);
    if (this.expand && open) {
      const detailId = `sa-detail-${this.label.replace(/\W/g, "")}-${key.replace(/\W/g, "_")}`;
      const content = h("div", { class: "pf-c-table__expandable-row-content" }, "Loading…");
      body.append(h("tr", { class: "pf-c-table__expandable-row pf-m-expanded", id: detailId },
                    h("td", { colspan: this.columns.length + 2 }, content)));
      this.expand(row, content);
    }
    return body;
  }
}
