#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# `sharemon metrics` against real servers of several sizes, and a missing one: the exposition
# passes promtool's checks, says whether the server answered, and counts what the server holds.
# Usage: metrics_test.sh SHARESIM SHAREMON SHAREADM
SHARESIM=$1 SHAREMON=$2 SHAREADM=$3
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
  # Idle classes: one series per bound, none above the connections, never rising with the bound.
  idle=$(awk '$1 ~ /^fileserver_connections_idle_longer_than\{/ { print $2 }' "$out")
  [ "$(grep -c . <<<"$idle")" = 9 ] || fail "$name: idle classes: $idle"
  awk -v n="$expected" '$1 > n || (NR > 1 && $1 > p) { exit 1 } { p = $1 }' <<<"$idle" ||
    fail "$name: idle classes rise or exceed the connections: $idle"
  per=$(grep -c '^fileserver_connection_read_bytes{' "$out" || true)
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

# Each failure kind: the textfile is rewritten (a stale "up 1" replaced) with up 0 and the kind,
# the run fails with the status of that kind, and stderr says the cause once.
mkdir -p "$WORK/tf"
bound() {  # until something holds the server's name
  for _ in $(seq 200); do grep -q '@/tmp/cifs.str$' /proc/net/unix && return 0; sleep 0.05; done
  fail "nothing holds the server's name"
}
squat() {  # holds the endpoint and never answers
  python3 -c 'import socket, time
s = socket.socket(socket.AF_UNIX); s.bind("\0/tmp/cifs.str"); s.listen(64); time.sleep(60)' &
  SIM_PID=$!; PIDS+=("$SIM_PID"); bound
}
deny() {  # serves only another uid
  "$SHARESIM" --allow-uid 4242 2>/dev/null &
  SIM_PID=$!; PIDS+=("$SIM_PID"); bound
}
# kind | setup | top-level options | exit status
kinds=(
  "unreachable|||3"
  "unexpected-server|start_sim||3"
  "timeout|squat||3"
  "access-denied|deny||2"
)
for k in "${kinds[@]}"; do
  IFS='|' read -r kind setup top want <<<"$k"
  if [ -n "$setup" ]; then $setup; fi
  [ "$kind" = unexpected-server ] && top="--server-uid 4242"
  printf 'fileserver_up 1\n' >"$WORK/tf/f.prom"
  status=0
  # shellcheck disable=SC2086
  "$SHAREMON" $top metrics --timeout 1 --output "$WORK/tf/f.prom" 2>"$WORK/tf.err" || status=$?
  [ "$status" = "$want" ] || fail "$kind: exit status $status, not $want"
  promtool check metrics <"$WORK/tf/f.prom" || fail "$kind: promtool check metrics"
  [ "$(sample fileserver_up "$WORK/tf/f.prom")" = 0 ] || fail "$kind: fileserver_up is not 0"
  grep -qx "fileserver_scrape_error{kind=\"$kind\"} 1" "$WORK/tf/f.prom" ||
    fail "$kind: the kind is not in the textfile"
  [ "$(family_sum fileserver_scrape_error "$WORK/tf/f.prom")" = 1 ] || fail "$kind: kinds"
  [ "$(grep -c "cannot be read: $kind" "$WORK/tf.err")" = 1 ] ||
    fail "$kind: the cause is not said once: $(cat "$WORK/tf.err")"
  if [ -n "$setup" ]; then stop_sim; fi
done


# serve starts whatever the server's state and reports each scrape; each change of cause is
# said once however many scrapes see it.
serve_at() {  # ADDR OPTIONS...: a serve in the background, answering
  local addr=$1; shift
  # shellcheck disable=SC2068
  "$SHAREMON" $@ serve --listen "$addr" --timeout 1 2>>"$WORK/serve.err" &
  PIDS+=($!)
  wait_http "http://$addr/metrics"
}
scrape() { curl -fs "http://$1/metrics" >"$WORK/scrape.prom"; }
kind_of() { awk '/^fileserver_scrape_error\{/ && $2 == 1 { sub(/.*kind="/, ""); sub(/".*/, ""); print }' "$WORK/scrape.prom"; }
: >"$WORK/serve.err"
serve_at 127.0.0.1:19925          # before the server
for _ in 1 2 3; do scrape 127.0.0.1:19925; done
[ "$(kind_of)" = unreachable ] || fail "serve before the server: kind $(kind_of)"
start_sim --clients 5
for _ in 1 2 3; do scrape 127.0.0.1:19925; done
[ "$(sample fileserver_up "$WORK/scrape.prom")" = 1 ] || fail "serve: up once the server runs"
serve_at 127.0.0.1:19926 --server-uid 4242   # the endpoint's holder is not the one trusted
for _ in 1 2 3; do scrape 127.0.0.1:19926; done
[ "$(kind_of)" = unexpected-server ] || fail "serve with a squatter: kind $(kind_of)"
[ "$(grep -c 'cannot be read: unreachable' "$WORK/serve.err")" = 1 ] ||
  fail "unreachable said other than once: $(cat "$WORK/serve.err")"
[ "$(grep -c 'answers again' "$WORK/serve.err")" = 1 ] || fail "recovery said other than once"
[ "$(grep -c 'cannot be read: unexpected-server' "$WORK/serve.err")" = 1 ] ||
  fail "unexpected-server said other than once"

# Drift: a document just exported is in sync; a share changed by hand is one difference.
"$SHAREADM" config export --output "$WORK/desired.json" >/dev/null || fail "config export"
drift() {
  "$SHAREMON" metrics --desired "$WORK/desired.json" >"$WORK/drift.prom" || fail "metrics --desired"
  echo "$(sample fileserver_config_in_sync "$WORK/drift.prom") $(sample fileserver_config_differences "$WORK/drift.prom")"
}
[ "$(drift)" = "1 0" ] || fail "drift right after export: $(drift)"
share=$("$SHAREADM" --json config export | python3 -c 'import json,sys; print(json.load(sys.stdin)["shares"][0]["name"])')
"$SHAREADM" share modify "$share" --comment "changed by hand" >/dev/null || fail "share modify"
[ "$(drift)" = "0 1" ] || fail "drift after a change by hand: $(drift)"
stop_sim
echo "failure kinds: ${#kinds[@]} checked; serve before the server and with a squatter; drift"

# No server: still a valid exposition, fileserver_up 0, exit status 3 (unreachable).
status=0
"$SHAREMON" metrics >"$WORK/down.prom" 2>/dev/null || status=$?
[ "$status" = 3 ] || fail "no server: exit status $status, not 3"
promtool check metrics <"$WORK/down.prom" || fail "no server: promtool check metrics"
[ "$(sample fileserver_up "$WORK/down.prom")" = 0 ] || fail "no server: fileserver_up is not 0"
! grep -q '^fileserver_connections' "$WORK/down.prom" || fail "no server: stale series"
echo "metrics: ${#cases[@]} servers and a missing one checked"
