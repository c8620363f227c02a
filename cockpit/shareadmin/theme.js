// SPDX-License-Identifier: Apache-2.0
// Follows the shell's light/dark choice (stored under "shell:style": light, dark or auto, auto
// following the desktop) with PatternFly's dark-theme class on the root element.
const DARK_CLASS = "pf-theme-dark";

function apply() {
  let style = "auto";
  try {
    style = window.localStorage.getItem("shell:style") || "auto";
  } catch (e) {
    // Storage may be blocked; the desktop's preference still applies.
  }
  const dark = style === "dark" ||
    (style === "auto" && window.matchMedia("(prefers-color-scheme: dark)").matches);
  document.documentElement.classList.toggle(DARK_CLASS, dark);
}

export function followTheme() {
  apply();
  window.addEventListener("storage", e => {
    if (e.key === "shell:style")
      apply();
  });
  window.matchMedia("(prefers-color-scheme: dark)").addEventListener("change", apply);
}
