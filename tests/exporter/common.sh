# SPDX-License-Identifier: Apache-2.0
# Helpers of the exporter's shell tests. Every test runs inside `unshare --net`: the server's
# abstract socket name and the loopback ports are the test's own.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

ip link set lo up

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# start_sim ARGS...: sharesim in the background; SIM_PID. Waits until it answers.
start_sim() {
  "$SHARESIM" "$@" 2>"$WORK/sim.err" &
  SIM_PID=$!
  PIDS+=("$SIM_PID")
  for _ in $(seq 100); do
    "$SHAREMON" volumes >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  cat "$WORK/sim.err" >&2
  fail "sharesim did not start"
}

stop_sim() {
  kill "$SIM_PID"
  wait "$SIM_PID" 2>/dev/null || true
}

# wait_http URL: until the URL answers (10 s at most).
wait_http() {
  for _ in $(seq 200); do
    curl -fs -o /dev/null "$1" && return 0
    sleep 0.05
  done
  fail "$1 does not answer"
}

# sample NAME FILE: value of the unlabelled sample NAME in an exposition.
sample() { awk -v n="$1" '$1 == n { print $2 }' "$2"; }

# family_sum NAME FILE: sum of the samples of NAME (any labels).
family_sum() {
  awk -v n="$1" '$1 ~ "^"n"({|$)" { s += $NF } END { printf "%d\n", s }' "$2"
}
