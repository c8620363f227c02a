// SPDX-License-Identifier: Apache-2.0
// The page: tabs, the refresh loop and the banner for a server that does not answer.
import { h, replace, button } from "./dom.js";
import { run, isUnreachable, failureText } from "./tools.js";
import { Overview } from "./overview.js";
import { Shares } from "./shares.js";
import { Sessions } from "./sessions.js";
import { Files } from "./files.js";
import { Options } from "./options.js";
import { Config } from "./config.js";
import { followTheme } from "./theme.js";

const INTERVALS = [5, 10, 30, 60];

class App {
  constructor(root) {
    this.timer = null;
    this.running = null;
    this.again = false;
    this.paused = false;
    this.banner = h("div", { class: "sa-banner", "aria-live": "assertive", "data-test": "banner" });
    this.lastRefresh = h("span", { "data-test": "last-refresh" }, "never");
    this.interval = h("select", { class: "pf-c-form-control sa-narrow", id: "sa-interval",
                                  onchange: () => this.schedule() },
                      INTERVALS.map(s => h("option", { value: s }, `${s} s`)));
    this.interval.value = "10";
    this.pause = button("Pause", () => this.togglePause(), "secondary",
                        { "aria-pressed": "false", "data-test": "pause" });
    const ctx = { run: (p, a, o) => this.run(p, a, o), refreshNow: () => this.refresh() };
    this.overview = new Overview(ctx);
    this.views = [
      { id: "shares", label: "Shares", view: new Shares(ctx) },
      { id: "sessions", label: "Sessions", view: new Sessions(ctx) },
      { id: "files", label: "Open files", view: new Files(ctx) },
      { id: "options", label: "Server options", view: new Options(ctx) },
      { id: "config", label: "Configuration", view: new Config(ctx) },
    ];
    // A link may name the view to open with (index.html#sessions).
    this.current = this.views.find(v => `#${v.id}` === window.location.hash) || this.views[0];
    const tabs = this.views.map(v => {
      v.tab = h("button", { class: "pf-c-tabs__link", role: "tab", id: `sa-tab-${v.id}`,
                            "aria-controls": `sa-panel-${v.id}`, "data-tab": v.id,
                            onclick: () => this.select(v), onkeydown: e => this.tabKey(e, v) },
                h("span", { class: "pf-c-tabs__item-text" }, v.label));
      v.item = h("li", { class: "pf-c-tabs__item", role: "presentation" }, v.tab);
      v.panel = h("div", { class: "sa-panel", role: "tabpanel", id: `sa-panel-${v.id}`,
                           "aria-labelledby": v.tab.id, tabindex: "0" }, v.view.element);
      return v.item;
    });
    const controls = h("div", { class: "sa-toolbar sa-refresh" },
                       h("label", { for: this.interval.id }, "Refresh every"), this.interval,
                       this.pause, h("span", {}, "Last refresh: "), this.lastRefresh);
    replace(root,
            h("main", { class: "pf-c-page__main-section sa-page" },
              h("h1", { class: "sa-title" }, "File server"), this.banner, controls,
              this.overview.element,
              h("div", { class: "pf-c-tabs" },
                h("ul", { class: "pf-c-tabs__list", role: "tablist", "aria-label": "Views" }, tabs)),
              this.views.map(v => v.panel)));
    this.select(this.current, false);
  }

  async run(program, args, options) {
    const r = await run(program, args, options);
    if (isUnreachable(r))
      this.showBanner(r.error);
    return r;
  }

  showBanner(error) {
    const title = error.error === "unexpected-server"
      ? "The file server's endpoint is held by an unexpected process"
      : "The file server does not answer";
    replace(this.banner,
            h("div", { class: "pf-c-alert pf-m-danger", role: "alert" },
              h("p", { class: "pf-c-alert__title" }, title),
              h("div", { class: "pf-c-alert__description" }, failureText(error))));
  }

  select(v, refresh = true) {
    this.current = v;
    for (const other of this.views) {
      const on = other === v;
      other.item.classList.toggle("pf-m-current", on);
      other.tab.setAttribute("aria-selected", on ? "true" : "false");
      other.tab.tabIndex = on ? 0 : -1;
      other.panel.hidden = !on;
    }
    if (refresh)
      this.refresh();
  }

  tabKey(e, v) {
    const i = this.views.indexOf(v);
    const step = { ArrowRight: 1, ArrowLeft: -1 }[e.key];
    if (!step)
      return;
    const next = this.views[(i + step + this.views.length) % this.views.length];
    next.tab.focus();
    this.select(next);
    e.preventDefault();
  }

  togglePause() {
    this.paused = !this.paused;
    this.pause.setAttribute("aria-pressed", this.paused ? "true" : "false");
    replace(this.pause, this.paused ? "Resume" : "Pause");
    this.schedule();
  }

  schedule() {
    clearTimeout(this.timer);
    this.timer = null;
    if (!this.paused)
      this.timer = setTimeout(() => this.refresh(), Number(this.interval.value) * 1000);
  }

  // One refresh at a time: a slow server must not pile up tool runs. A request during a run
  // (a tab chosen, a change made) runs once more after it, so its view is not left stale.
  refresh() {
    if (this.running) {
      this.again = true;
      return this.running;
    }
    this.running = this.refreshOnce().finally(() => {
      this.running = null;
      if (this.again) {
        this.again = false;
        this.refresh();
      } else {
        this.schedule();
      }
    });
    return this.running;
  }

  async refreshOnce() {
    const status = await this.overview.refresh();
    if (status.ok) {
      replace(this.banner);
      await this.current.view.refresh();
    }
    replace(this.lastRefresh, new Date().toLocaleTimeString());
    this.lastRefresh.setAttribute("data-epoch", String(Date.now()));
  }
}

followTheme();
window.cockpit.transport.wait(() => {
  window.shareadmin = new App(document.getElementById("app"));
  window.shareadmin.refresh();
});
