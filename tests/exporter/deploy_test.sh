#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The deployment files: Prometheus accepts the scrape configuration and the rules, the alerts
# fire when they should (promtool test rules), systemd accepts the units and rates their
# sandboxing, and the dashboard's and rules' queries name only metrics the exporter serves.
# Usage: deploy_test.sh DEPLOY_DIR SHARESIM SHAREMON
DEPLOY=$1 SHARESIM=$2 SHAREMON=$3
. "$(dirname "$0")/common.sh"

promtool check config "$DEPLOY/prometheus.yml" || fail "promtool check config"
promtool check rules "$DEPLOY/fileserver-alerts.yml" || fail "promtool check rules"
cp "$DEPLOY/fileserver-alerts.yml" "$(dirname "$0")/alerts_test.yml" "$WORK/"
promtool test rules "$WORK/alerts_test.yml" || fail "promtool test rules"

# The units name the installed program; verify them against the one just built.
units=(sharemon-exporter.service sharemon-textfile.service sharemon-textfile.timer)
for u in "${units[@]}"; do
  sed "s|/usr/local/bin/sharemon|$SHAREMON|" "$DEPLOY/$u" >"$WORK/$u"
done
(cd "$WORK" && systemd-analyze verify "${units[@]/#/./}") || fail "systemd-analyze verify"
for u in sharemon-exporter.service sharemon-textfile.service; do
  grep -q '^PrivateNetwork=' "$DEPLOY/$u" && fail "$u: PrivateNetwork= hides the server's socket"
  exposure=$(cd "$WORK" && systemd-analyze security --offline=yes "./$u" 2>/dev/null |
    sed -n 's/.*Overall exposure level for .*: \([0-9.]*\).*/\1/p')
  [ -n "$exposure" ] || fail "$u: no exposure level"
  awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' || fail "$u: exposure $exposure above 2.0"
done
# A failed gather fails the textfile run, so that systemctl shows it (the file says up 0).
grep -q '^SuccessExitStatus=' "$DEPLOY/sharemon-textfile.service" &&
  fail "sharemon-textfile.service counts a failed gather as success"
grep -q '^Environment=SHAREMON_LISTEN=127.0.0.1:' "$DEPLOY/sharemon-exporter.service" ||
  fail "the service does not listen on loopback"
grep -q '^SHAREMON_LISTEN=127.0.0.1:' "$DEPLOY/default/sharemon-exporter" ||
  fail "the default file does not listen on loopback"

python3 -m json.tool "$DEPLOY/grafana-dashboard.json" >/dev/null || fail "dashboard JSON"
start_sim --clients 50
# Everything serve can show: per-connection series, a desired document, counters kept across
# scrapes (recorded rules' own names, job:..., are not the exporter's).
echo '{"schema_version": 1}' >"$WORK/desired.json"
"$SHAREMON" serve --listen 127.0.0.1:19924 --per-connection --desired "$WORK/desired.json" \
  2>"$WORK/serve.err" &
PIDS+=($!)
wait_http "http://127.0.0.1:19924/metrics"
curl -fs "http://127.0.0.1:19924/metrics" >"$WORK/served.prom"
for f in grafana-dashboard.json fileserver-alerts.yml; do
  for m in $(grep -oP '(?<![:a-z_])fileserver_[a-z_]*' "$DEPLOY/$f" | sort -u); do
    grep -q "^$m[ {]" "$WORK/served.prom" || fail "$f: $m is not served"
  done
done
echo "deploy: configuration, rules, ${#units[@]} units and the dashboard checked"
