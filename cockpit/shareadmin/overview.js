// SPDX-License-Identifier: Apache-2.0
// Server status and the counts, from one status document.
import { h, replace, duration } from "./dom.js";

const COUNTS = [
  ["shares", "Shares"],
  ["connections", "Connections"],
  ["open_files", "Open files"],
];

export class Overview {
  constructor(ctx) {
    this.ctx = ctx;
    this.status = h("dd", { "data-test": "server-status" }, "—");
    this.counts = new Map(COUNTS.map(([key]) => [key, h("dd", { "data-count": key }, "—")]));
    const items = [h("div", { class: "pf-c-description-list__group" },
                     h("dt", { class: "pf-c-description-list__term" }, "Server"), this.status)];
    for (const [key, label] of COUNTS)
      items.push(h("div", { class: "pf-c-description-list__group" },
                   h("dt", { class: "pf-c-description-list__term" }, label), this.counts.get(key)));
    this.element = h("section", { class: "sa-section", "aria-labelledby": "sa-overview-title" },
                     h("h2", { id: "sa-overview-title", class: "sa-section-title" }, "Overview"),
                     h("dl", { class: "pf-c-description-list pf-m-horizontal sa-overview" }, items));
  }

  async refresh() {
    const r = await this.ctx.run("shareadm", ["option", "status"]);
    if (!r.ok) {
      replace(this.status, "Not answering");
      for (const dd of this.counts.values())
        replace(dd, "—");
      return r;
    }
    const d = r.doc;
    replace(this.status, `Answering (${d.server ?? "server"}, up ${duration(d.uptime)})`);
    for (const [key] of COUNTS)
      replace(this.counts.get(key), d[key] === undefined ? "—" : String(d[key]));
    return r;
  }
}
