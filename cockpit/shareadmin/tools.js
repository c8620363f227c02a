// SPDX-License-Identifier: Apache-2.0
// Runs the command-line tools through the bridge and turns what they print into one result.
// The page never talks to the server itself: the tools' checks, messages and exit statuses are
// the single source of truth.

// A silent server must show as a banner long before the library's own 90 seconds.
export const TOOL_TIMEOUT_SECONDS = 15;

// Exit statuses of both tools.
export const EXIT_REJECTED = 1;
export const EXIT_REFUSED = 2;
export const EXIT_UNREACHABLE = 3;

// Result of one run: {ok, doc, status, error} where error is the tool's error document (or one
// made up here when the tool could not run at all, so callers handle one shape).
// input: text for the tool's standard input; success: exit statuses that carry a result document
// (`config diff` exits 4 when it found changes).
export function run(program, args, { input, success = [0] } = {}) {
  const argv = [program, "--json", "--timeout", String(TOOL_TIMEOUT_SECONDS), ...args];
  return new Promise(resolve => {
    const proc = window.cockpit.spawn(argv, { superuser: "try", err: "message" });
    // cockpit's own promise hands the output to the failure callback as a second argument,
    // which a native await would drop.
    proc.then(
      out => resolve(interpret(program, args, 0, out, "", success)),
      (ex, out) => resolve(interpret(program, args, ex.exit_status, out, ex.message || String(ex),
                                     success)));
    if (input !== undefined)
      proc.input(input);
  });
}

export function interpret(program, args, status, out, message, success = [0]) {
  let doc = null;
  try {
    doc = out ? JSON.parse(out) : null;
  } catch (e) {
    doc = null;
  }
  if (success.includes(status) && doc && typeof doc === "object" && !("error" in doc))
    return { ok: true, doc, status, error: null };
  if (doc && typeof doc === "object" && typeof doc.error === "string")
    return { ok: false, doc, status: doc.exit_status || status, error: doc };
  // No document: the program is missing, was killed or printed something else.
  const action = [program, ...args.filter(a => !a.startsWith("-"))].slice(0, 3).join(" ");
  return {
    ok: false,
    doc: null,
    status: status === undefined || status === null ? -1 : status,
    error: {
      error: "not-run",
      action,
      message: message || `${program} printed no JSON document`,
      exit_status: status,
    },
  };
}

export function isUnreachable(result) {
  return !result.ok && result.status === EXIT_UNREACHABLE;
}

// The one-line text a person reads for a failure: the tool's message, as it printed it.
export function failureText(error) {
  if (!error)
    return "";
  let text = error.message || error.error;
  if (error.error === "unexpected-server" && error.uid !== undefined)
    text += ` (held by uid ${error.uid}, pid ${error.pid}; accepted: ${error.accepted_uids})`;
  return text;
}
