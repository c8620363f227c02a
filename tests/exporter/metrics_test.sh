#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# `sharemon metrics` against real servers of several sizes, and a missing one: the exposition
# passes promtool's checks, says whether the server answered, and counts what the server holds.
# Usage: metrics_test.sh SHARESIM SHAREMON
SHARESIM=$1 SHAREMON=$2
. "$(dirname "$0")/common.sh"

# name | sharesim arguments | connections expected | metrics options
cases=(
  "empty||0|"
  "seeded|--clients 50|50|"
  "seeded-per-connection|--clients 50|50|--per-connection"
  "large|--clients 10000|10000|"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name simargs expected opts <<<"$c"
  # shellcheck disable=SC2086
  start_sim $simargs
  out="$WORK/$name.prom"
  # shellcheck disable=SC2086
  "$SHAREMON" metrics $opts >"$out" || fail "$name: exit status $?"
  promtool check metrics <"$out" || fail "$name: promtool check metrics"
  [ "$(sample fileserver_up "$out")" = 1 ] || fail "$name: fileserver_up is not 1"
  [ "$(family_sum fileserver_connections "$out")" = "$expected" ] ||
    fail "$name: fileserver_connections sum is not $expected"
  [ "$(sample fileserver_connection_idle_seconds_count "$out")" = "$expected" ] ||
    fail "$name: idle histogram count is not $expected"
  [ "$(awk '$1 ~ /^fileserver_connection_idle_seconds_bucket\{le="\+Inf"\}/ { print $2 }' "$out")" = "$expected" ] ||
    fail "$name: +Inf bucket is not the count"
  per=$(grep -c '^fileserver_connection_bytes_read_total{' "$out" || true)
  if [ -n "$opts" ]; then [ "$per" = "$expected" ] || fail "$name: $per per-connection series"
  else [ "$per" = 0 ] || fail "$name: per-connection series without the option"; fi
  # Textfile mode: the same exposition, written by rename (no temporary file left behind).
  "$SHAREMON" metrics --output "$WORK/textfile/fileserver.prom" 2>/dev/null &&
    fail "$name: --output into a missing folder succeeded"
  mkdir -p "$WORK/textfile"
  echo stale >"$WORK/textfile/fileserver.prom"
  "$SHAREMON" metrics --output "$WORK/textfile/fileserver.prom" || fail "$name: --output"
  [ "$(ls -A "$WORK/textfile")" = fileserver.prom ] || fail "$name: leftovers: $(ls -A "$WORK/textfile")"
  promtool check metrics <"$WORK/textfile/fileserver.prom" || fail "$name: textfile check"
  rm -rf "$WORK/textfile"
  stop_sim
done

# No server: still a valid exposition, fileserver_up 0, exit status 3 (unreachable).
status=0
"$SHAREMON" metrics >"$WORK/down.prom" 2>/dev/null || status=$?
[ "$status" = 3 ] || fail "no server: exit status $status, not 3"
promtool check metrics <"$WORK/down.prom" || fail "no server: promtool check metrics"
[ "$(sample fileserver_up "$WORK/down.prom")" = 0 ] || fail "no server: fileserver_up is not 0"
! grep -q '^fileserver_connections' "$WORK/down.prom" || fail "no server: stale series"
echo "metrics: ${#cases[@]} servers and a missing one checked"
