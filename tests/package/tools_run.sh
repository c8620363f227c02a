#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the installed programs against the installed stand-in server. Must run in a private
# network namespace (tests/package/run starts it under unshare --net).
set -euo pipefail
log=$(mktemp)
/usr/bin/sharesim --clients 12 --seed 7 2>"$log" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 300); do
  grep -q '@/tmp/cifs.str' /proc/net/unix && break
  kill -0 $sim 2>/dev/null || { cat "$log"; exit 1; }
  sleep 0.1
done
check() {  # check DESCRIPTION EXPECTED-TEXT COMMAND...
  local what=$1 expect=$2 got; shift 2
  got=$("$@") || { echo "$what: exit status $?"; exit 1; }
  grep -q -- "$expect" <<<"$got" || { echo "$what: no '$expect' in:"; echo "$got"; exit 1; }
  echo "ok: $what"
}
check "shareadm share list" projects shareadm share list
check "shareadm share add" "Share reports created" shareadm share add reports VOL1:/finance/reports
check "shareadm connections count" 12 shareadm connections count
check "sharemon connections" WS- sharemon connections
check "sharemon metrics" "fileserver_up 1" sharemon metrics
check "python3 shareadmin" reports /usr/bin/python3 -c \
  'import shareadmin; print([s.name for s in shareadmin.list_shares()])'
check "python3 shareadmin.monitor" 12 /usr/bin/python3 -c \
  'import shareadmin.monitor as m; print(len(m.connections()))'
