#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A fleet of three over real ssh: Ansible converges it, a rerun and a check change nothing, drift
# made by hand shows in Prometheus for exactly the drifted hosts and the next run repairs exactly
# those; the fleet listing and the fleet-wide close agree with each host.
set -euo pipefail
source "$(dirname "$0")/fleet.sh"
fleet_isolate "$0" "$@"

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "$(date +%T) $*" >&2; }
expect() { [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"; }

N=3
step hosts
fleet_up "$N"
step prometheus
fleet_prometheus
# The packaged dashboard serves the fleet: its instance variable lists every host and each
# panel's query, with every instance chosen, is one Prometheus accepts.
expect "dashboard instances" "$(fleet_query 'count(count by (instance) (fileserver_up))' |
  awk '{ print $2 }')" "$N"
/usr/bin/python3 - "$FLEET_ROOT/deploy/grafana-dashboard.json" "$FLEET_PROM" <<'PY' || fail "dashboard queries"
import json, sys, urllib.parse, urllib.request
dashboard, prom = json.load(open(sys.argv[1])), sys.argv[2]
for panel in dashboard["panels"]:
    for target in panel.get("targets", []):
        expr = target["expr"].replace("$instance", ".*")
        url = f"{prom}/api/v1/query?" + urllib.parse.urlencode({"query": expr})
        with urllib.request.urlopen(url, timeout=10) as answer:
            assert json.load(answer)["status"] == "success", expr
PY
log=$FLEET_RUN/play.log

timeout 120 ansible fileservers -m ansible.builtin.ping >"$log" 2>&1 || { cat "$log"; fail "ping"; }
expect "hosts answering ping" "$(grep -c SUCCESS "$log")" "$N"

step converge
fleet_playbook >"$log" 2>&1 || { cat "$log"; fail "first converge"; }
expect "first converge changed" "$(fleet_changed "$log")" "h01 h02 h03"
step rerun
fleet_playbook >"$log" 2>&1 || { cat "$log"; fail "rerun"; }
expect "rerun changed" "$(fleet_changed "$log")" ""
fleet_playbook --check --diff >"$log" 2>&1 || { cat "$log"; fail "check"; }
expect "check changed" "$(fleet_changed "$log")" ""
grep -qE '^(\+\+\+|---) ' "$log" && { cat "$log"; fail "check --diff shows a difference"; }

# The groups differ: office hosts have finance, build hosts builds.
for row in "1 finance" "3 builds"; do
  set -- $row
  fleet_ssh "$1" shareadm share show "$2" >/dev/null || fail "h0$1 lacks share $2"
done

fleet_wait_query fileserver_config_in_sync "h01 1
h02 1
h03 1" || fail "in sync after converge"

step drift
# Drift by hand, one kind per host; the host in the middle is left alone.
drift=(
  "1|shareadm share add scratch VOL1:/scratch"
  "3|shareadm option oplock-break-ack-timeout 25"
)
for d in "${drift[@]}"; do
  fleet_ssh "${d%%|*}" "${d#*|}" >/dev/null || fail "drift: ${d#*|}"
done
fleet_wait_query fileserver_config_in_sync "h01 0
h02 1
h03 0" || fail "drift not seen on exactly h01 and h03"

fleet_playbook >"$log" 2>&1 || { cat "$log"; fail "repair"; }
expect "repair changed" "$(fleet_changed "$log")" "h01 h03"
fleet_wait_query fileserver_config_in_sync "h01 1
h02 1
h03 1" || fail "in sync after repair"
expect "scratch removed" "$(fleet_ssh 1 shareadm share show scratch >/dev/null 2>&1 && echo kept)" ""

step listing
# The fleet listing: one row per connection of every host, the host in the first column.
sessions=$FLEET_ROOT/scripts/fleet-sessions
csv=$("$sessions" --format csv connections) || fail "fleet-sessions connections"
for ((i = 1; i <= N; i++)); do
  want=$(fleet_ssh "$i" shareadm --json connections list |
    python3 -c 'import json, sys; d = json.load(sys.stdin); print(len(d if isinstance(d, list) else d["connections"]))')
  expect "connections of h0$i" "$(grep -c "^h0$i," <<<"$csv")" "$want"
done
expect "csv header" "$(head -1 <<<"$csv" | cut -d, -f1,2)" "host,id"

# Closing one user's files: the dry run closes nothing, the real one all of them, nobody else's.
# open_files [USER]: rows of the fleet's open files listing (of USER's, with USER).
open_files() {
  "$sessions" --format csv files | python3 -c '
import csv, sys
rows = list(csv.DictReader(sys.stdin))
u = sys.argv[1] if len(sys.argv) > 1 else None
print(sum(1 for r in rows if u is None or r["user"].startswith(f"cn={u},")))' "$@"
}
user=$("$sessions" --format csv files | python3 -c '
import csv, sys
print(next(r["user"] for r in csv.DictReader(sys.stdin) if r["user"].startswith("cn=")).split(",")[0][3:])')
[ -n "$user" ] || fail "no open files to close"
all_before=$(open_files)
mine_before=$(open_files "$user")
[ "$mine_before" -gt 0 ] || fail "no open files of $user"
"$sessions" close-files "$user" >/dev/null 2>&1 || fail "close-files dry run"
expect "files after the dry run" "$(open_files)" "$all_before"
"$sessions" close-files "$user" --apply >/dev/null 2>&1 || fail "close-files --apply"
expect "files of $user after close" "$(open_files "$user")" "0"
expect "files of others after close" "$(open_files)" "$((all_before - mine_before))"

echo "fleet of $N: converge, idempotence, drift and repair, listing and close all pass"
