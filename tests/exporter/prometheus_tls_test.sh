#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# End to end over TLS: `sharemon serve --web-config` with a throw-away CA's certificate and a
# bcrypt user, scraped by a real Prometheus through its own tls_config and basic_auth, all in a
# private network namespace. The job with the right password sees the file server up; jobs with
# a wrong password, an unknown user or no credentials see the target down with a 401; plain HTTP
# to the TLS port gets no answer.
# Usage: prometheus_tls_test.sh SOURCE_DIR SHARESIM SHAREMON
SOURCE=$1 SHARESIM=$2 SHAREMON=$3
"$SOURCE/scripts/setup.sh" >/dev/null
. "$(dirname "$0")/common.sh"

PORT=19922 PROM=127.0.0.1:19090
# The certificate names this host only, so Prometheus must send server_name to accept it.
NAME=exporter.test
PASSWORD=s3cret-scrape

# The CA and the exporter's certificate, signed by it (P-256 keys: quick to make).
(
  cd "$WORK"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=test-ca \
    -addext keyUsage=critical,keyCertSign -keyout ca.key -out ca.crt 2>/dev/null
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$NAME" \
    -keyout exporter.key -out exporter.csr 2>/dev/null
  printf 'subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n' "$NAME" >exporter.ext
  openssl x509 -req -in exporter.csr -CA ca.crt -CAkey ca.key -set_serial 2 -days 2 \
    -extfile exporter.ext -out exporter.crt 2>/dev/null
  openssl verify -CAfile ca.crt exporter.crt >/dev/null
) || fail "cannot make the test certificates"

# Cost 4 keeps each check quick; the exporter accepts any bcrypt cost.
HASH=$(/usr/bin/python3 -c 'import bcrypt, sys
print(bcrypt.hashpw(sys.argv[1].encode(), bcrypt.gensalt(rounds=4)).decode())' "$PASSWORD")
printf '%s\n' "$PASSWORD" >"$WORK/password"
# Relative paths: the web configuration's neighbours.
cat >"$WORK/web.yml" <<CONF
tls_server_config:
  cert_file: exporter.crt
  key_file: exporter.key
basic_auth_users:
  prometheus: '$HASH'
CONF

start_sim --clients 5
"$SHAREMON" serve --listen "127.0.0.1:$PORT" --web-config "$WORK/web.yml" --timeout 2 \
  2>"$WORK/serve.err" &
PIDS+=($!)

# https_status [CURL ARGS...]: the HTTP status of /metrics over verified TLS (000: no answer).
https_status() {
  curl -s -o /dev/null -w '%{http_code}' --max-time 5 --cacert "$WORK/ca.crt" \
    --resolve "$NAME:$PORT:127.0.0.1" "$@" "https://$NAME:$PORT/metrics" || true
}
for _ in $(seq 200); do
  [ "$(https_status)" = 401 ] && break
  sleep 0.05
done
got=$(https_status)
[ "$got" = 401 ] || { cat "$WORK/serve.err" >&2; fail "https without credentials gave $got, not 401"; }
got=$(https_status -u "prometheus:$PASSWORD")
[ "$got" = 200 ] || fail "https with the password gave $got, not 200"

# Plain HTTP to the TLS port must not get an HTTP answer of any kind.
if out=$(curl -s --max-time 5 -w '%{http_code}' "http://127.0.0.1:$PORT/metrics"); then
  fail "plain HTTP to the TLS port succeeded: $out"
fi

# job, credentials, expected health, text expected in lastError.
JOBS=(
  "fileserver|username: prometheus, password_file: $WORK/password|up|"
  "wrong_password|username: prometheus, password: not-$PASSWORD|down|401"
  "unknown_user|username: someone, password: $PASSWORD|down|401"
  "no_credentials||down|401"
)
{
  cat <<CONF
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
CONF
  for row in "${JOBS[@]}"; do
    IFS='|' read -r job auth _ _ <<<"$row"
    cat <<CONF
  - job_name: $job
    scrape_timeout: 1s
    scheme: https
    tls_config: {ca_file: $WORK/ca.crt, server_name: $NAME}
    static_configs:
      - targets: ["127.0.0.1:$PORT"]
CONF
    [ -z "$auth" ] || echo "    basic_auth: {$auth}"
  done
} >"$WORK/prometheus.yml"
prometheus --config.file="$WORK/prometheus.yml" --storage.tsdb.path="$WORK/data" \
  --web.listen-address="$PROM" >"$WORK/prometheus.log" 2>&1 &
PIDS+=($!)
wait_http "http://$PROM/-/ready"

# targets: "job|health|lastError" per line, once every job's target has been scraped.
targets() {
  curl -fsG "http://$PROM/api/v1/targets" --data-urlencode state=active | /usr/bin/python3 -c '
import json, sys
ts = json.load(sys.stdin)["data"]["activeTargets"]
if len(ts) == int(sys.argv[1]) and all(t["health"] != "unknown" for t in ts):
    for t in ts:
        print(t["labels"]["job"] + "|" + t["health"] + "|" + t["lastError"])' "${#JOBS[@]}"
}

# query EXPR: the value of the query's first result, empty when there is none.
query() {
  curl -fsG "http://$PROM/api/v1/query" --data-urlencode "query=$1" | /usr/bin/python3 -c '
import json, sys
r = json.load(sys.stdin)["data"]["result"]
print(r[0]["value"][1] if r else "")'
}

seen=""
for _ in $(seq 80); do
  seen=$(targets 2>/dev/null || true)
  [ -n "$seen" ] && break
  sleep 0.25
done
[ -n "$seen" ] || { cat "$WORK/prometheus.log" >&2; fail "Prometheus scraped not every job"; }
for row in "${JOBS[@]}"; do
  IFS='|' read -r job _ health error <<<"$row"
  got=$(grep "^$job|" <<<"$seen" | cut -d'|' -f2-)
  [ "${got%%|*}" = "$health" ] || fail "job $job is \"$got\", not $health"
  last=${got#*|}
  if [ -z "$error" ]; then
    [ -z "$last" ] || fail "job $job: lastError \"$last\""
  else
    [[ "$last" == *"$error"* ]] || fail "job $job: lastError \"$last\" does not mention $error"
  fi
done

got=""
for _ in $(seq 80); do
  got=$(query 'fileserver_up{job="fileserver"}' || true)
  [ "$got" = 1 ] && break
  sleep 0.25
done
[ "$got" = 1 ] || fail "fileserver_up over TLS is \"$got\", not 1"
# Refused scrapes store nothing of the exporter's.
[ -z "$(query 'fileserver_up{job!="fileserver"}')" ] || fail "a refused job stored fileserver_up"
echo "prometheus over TLS: scraped with the password, 401 without it, no plain HTTP"
