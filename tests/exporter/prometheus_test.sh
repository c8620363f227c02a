#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# End to end: sharesim with 50 clients, `sharemon serve` on loopback and a real Prometheus
# scraping it every second, all in a private network namespace. Prometheus's query API must
# show the server up with 50 connections, then, once sharesim is gone, down.
# Usage: prometheus_test.sh SOURCE_DIR SHARESIM SHAREMON SHAREADM
SOURCE=$1 SHARESIM=$2 SHAREMON=$3 SHAREADM=$4
"$SOURCE/scripts/setup.sh" >/dev/null
. "$(dirname "$0")/common.sh"

EXPORTER=127.0.0.1:19922 PROM=127.0.0.1:19090

# query EXPR: the value of the query's first result, empty when there is none.
query() {
  curl -fsG "http://$PROM/api/v1/query" --data-urlencode "query=$1" | python3 -c '
import json, sys
r = json.load(sys.stdin)["data"]["result"]
print(r[0]["value"][1] if r else "")'
}

# await EXPR VALUE: until the query gives VALUE (20 s at most).
await() {
  local got=""
  for _ in $(seq 80); do
    got=$(query "$1" || true)
    [ "$got" = "$2" ] && return 0
    sleep 0.25
  done
  fail "$1 is \"$got\", not $2"
}

start_sim --clients 50
"$SHAREMON" serve --listen "$EXPORTER" --timeout 2 2>"$WORK/serve.err" &
PIDS+=($!)
wait_http "http://$EXPORTER/metrics"

cat >"$WORK/prometheus.yml" <<CONF
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: fileserver
    scrape_timeout: 1s
    static_configs:
      - targets: ["$EXPORTER"]
CONF
prometheus --config.file="$WORK/prometheus.yml" --storage.tsdb.path="$WORK/data" \
  --web.listen-address="$PROM" >"$WORK/prometheus.log" 2>&1 &
PIDS+=($!)
wait_http "http://$PROM/-/ready"

await 'up{job="fileserver"}' 1
await 'fileserver_up' 1
await 'sum(fileserver_connections)' 50
await 'count(fileserver_connections_idle_longer_than)' 9
# Connections close while Prometheus scrapes: no _total goes back, and the dashboard's
# throughput query stays within the bytes moved (sharesim's connections move none). The sum
# over the open connections does fall, so the closings did take bytes away.
for _ in 1 2 3; do
  "$SHAREADM" clear-connections --type ALL --idle 15 --count 3 >/dev/null || fail "clear-connections"
  sleep 1.2
done
"$SHAREMON" metrics >"$WORK/left.prom" || fail "metrics"
left=$(family_sum fileserver_connections "$WORK/left.prom")
[ "$left" -lt 50 ] || fail "no connection was cleared"
await 'sum(fileserver_connections)' "$left"
sleep 2
await 'count(resets(fileserver_open_connections_read_bytes[1m]) > 0)' 1
# resets() drops the name: keep it in a label, or two unlabelled counters collide.
await 'sum(resets(label_replace({__name__=~"fileserver_.+_total"}, "name", "$1", "__name__", "(.+)")[1m:1s]))' 0
await 'count(resets(fileserver_bytes_read_total[1m]))' 1
await 'sum(rate(fileserver_bytes_read_total[1m])) + sum(rate(fileserver_bytes_written_total[1m]))' 0
stop_sim
# The exporter still answers: the target stays up, the file server is down.
await 'fileserver_up' 0
await 'up{job="fileserver"}' 1
await 'fileserver_scrape_error{kind="unreachable"}' 1
echo "prometheus: scraped up with 50 connections, $((50 - left)) closed without a counter going back, then down"
