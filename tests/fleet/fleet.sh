# SPDX-License-Identifier: Apache-2.0
# A fleet of simulated file servers on one machine, sourced by the fleet scripts and the fleet
# test. The caller first runs `fleet_isolate "$0" "$@"`: the script then runs again as pid 1 of
# its own network, mount and pid namespaces, so that when it ends, however it ends, the kernel
# ends every process it started and every address it configured goes away.
#
# Inside: a bridge fleet0 (10.77.0.1/24, where Ansible and Prometheus sit) and per host a
# network namespace hNN (10.77.0.(10+NN)) holding the host's sshd, sharesim and
# `sharemon serve`. Everything of the run lives in $FLEET_RUN.

FLEET_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
FLEET_NET=10.77.0
FLEET_MAX=200

fleet_fail() { echo "fleet: $*" >&2; exit 1; }

# fleet_isolate SCRIPT ARGS...: returns only inside the run's namespaces.
fleet_isolate() {
  # Pid 1 too: a FLEET_RUN inherited by mistake must not make /run of the machine ours.
  if [ -n "${FLEET_RUN:-}" ] && [ "$$" -eq 1 ]; then
    # Pid 1 gets only the signals it handles: without these, a TERM or Ctrl-C would leave the
    # run going. Its exit ends every process of the namespace.
    trap 'exit 143' TERM
    trap 'exit 130' INT
    trap 'exit 129' HUP
    return 0
  fi
  [ "$(id -u)" -eq 0 ] || fleet_fail "needs root (network namespaces, sshd as root)"
  local rc=0
  FLEET_RUN=$(mktemp -d /tmp/fleet.XXXXXX)
  chmod 755 "$FLEET_RUN"
  trap 'rm -rf "$FLEET_RUN"' EXIT
  export FLEET_RUN
  unshare --net --mount --pid --fork --kill-child --mount-proc "$@" || rc=$?
  exit "$rc"
}

# fleet_tools: the directory of sharesim, shareadm and sharemon: the build's, else the
# installed package's.
fleet_tools() {
  if [ -n "${FLEET_TOOLS:-}" ]; then echo "$FLEET_TOOLS"
  elif [ -x "$FLEET_ROOT/build/tools/shareadm" ]; then echo "$FLEET_ROOT/build/tools"
  else dirname "$(command -v shareadm || fleet_fail "no shareadm: build or install it")"
  fi
}

fleet_name() { printf 'h%02d' "$1"; }
fleet_addr() { echo "$FLEET_NET.$((10 + $1))"; }

# Every pid the run started, per host, for the memory figure.
declare -A FLEET_PIDS=()

# fleet_wait TRIES DELAY COMMAND...: until COMMAND succeeds, TRIES times at most.
fleet_wait() {
  local tries=$1 delay=$2 i
  shift 2
  for ((i = 0; i < tries; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep "$delay"
  done
  return 1
}

# fleet_base: private /run (for /run/netns and sshd's /run/sshd), loopback, the bridge, keys.
fleet_base() {
  mount --make-rprivate /
  mount -t tmpfs -o mode=755 fleet-run /run
  mkdir -p /run/netns /run/sshd
  chmod 755 /run/sshd
  ip link set lo up
  ip link add fleet0 type bridge
  ip addr add "$FLEET_NET.1/24" dev fleet0
  ip link set fleet0 up
  # The sessions' home: root's own shell start-up files (version managers re-hashing shims
  # under a shared lock, say) are no part of a simulated host.
  mkdir -p "$FLEET_RUN/hosts" "$FLEET_RUN/cp" "$FLEET_RUN/tmp" "$FLEET_RUN/home"
  ssh-keygen -q -t ed25519 -N "" -C fleet-admin -f "$FLEET_RUN/id_ed25519"
  cp "$FLEET_RUN/id_ed25519.pub" "$FLEET_RUN/authorized_keys"
  : >"$FLEET_RUN/known_hosts"
}

# fleet_host I SEED CLIENTS: host I with its sshd, sharesim and exporter.
fleet_host() {
  local i=$1 seed=$2 clients=$3 tools name addr dir
  tools=$(fleet_tools)
  name=$(fleet_name "$i")
  addr=$(fleet_addr "$i")
  dir=$FLEET_RUN/hosts/$name
  mkdir -p "$dir"
  ip netns add "$name"
  ip link add "v$name" type veth peer name eth0 netns "$name"
  ip link set "v$name" master fleet0 up
  ip -n "$name" link set lo up
  ip -n "$name" addr add "$addr/24" dev eth0
  ip -n "$name" link set eth0 up
  ssh-keygen -q -t ed25519 -N "" -C "$name" -f "$dir/ssh_host_ed25519_key"
  echo "$addr $(cut -d' ' -f1,2 "$dir/ssh_host_ed25519_key.pub")" >>"$FLEET_RUN/known_hosts"
  cat >"$dir/sshd_config" <<EOF
ListenAddress $addr:22
HostKey $dir/ssh_host_ed25519_key
PidFile $dir/sshd.pid
AuthorizedKeysFile $FLEET_RUN/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
MaxStartups 100:30:200
MaxSessions 50
Subsystem sftp internal-sftp
SetEnv PATH=$tools:/usr/sbin:/usr/bin:/sbin:/bin HOME=$FLEET_RUN/home
EOF
  ip netns exec "$name" "$tools/sharesim" --clients "$clients" --seed "$seed" \
    --state "$dir/state.json" 2>"$dir/sharesim.log" &
  FLEET_PIDS[$name]="$!"
  ip netns exec "$name" /usr/sbin/sshd -D -e -f "$dir/sshd_config" 2>"$dir/sshd.log" &
  FLEET_PIDS[$name]+=" $!"
  fleet_wait 100 0.05 ip netns exec "$name" "$tools/shareadm" option status ||
    fleet_fail "$name: sharesim does not answer: $(cat "$dir/sharesim.log")"
  ip netns exec "$name" "$tools/sharemon" serve --listen "$addr:9922" \
    --desired "$dir/desired.json" 2>"$dir/sharemon.log" &
  FLEET_PIDS[$name]+=" $!"
}

# fleet_up N: N hosts, each answering on ssh and on its exporter.
fleet_up() {
  local n=$1 i name addr
  [[ "$n" =~ ^[0-9]+$ ]] && [ "$n" -ge 1 ] && [ "$n" -le "$FLEET_MAX" ] ||
    fleet_fail "the number of hosts must be 1 to $FLEET_MAX"
  FLEET_N=$n
  fleet_base
  for ((i = 1; i <= n; i++)); do
    # Different seeds: every host has its own sessions and open files.
    fleet_host "$i" "$((1000 + i))" "$((4 + i % 7))"
  done
  for ((i = 1; i <= n; i++)); do
    name=$(fleet_name "$i")
    addr=$(fleet_addr "$i")
    fleet_wait 100 0.1 curl -fs -o /dev/null "http://$addr:9922/" ||
      fleet_fail "$name: the exporter does not answer: $(cat "$FLEET_RUN/hosts/$name/sharemon.log")"
    fleet_wait 100 0.1 bash -c "exec 3<>/dev/tcp/$addr/22" ||
      fleet_fail "$name: sshd does not answer: $(cat "$FLEET_RUN/hosts/$name/sshd.log")"
  done
  fleet_inventory "$n"
  fleet_collection
  fleet_ansible_cfg
}

# The collection as its users get it: the tarball ansible-galaxy builds, installed from it.
fleet_collection() {
  local tarball
  ANSIBLE_HOME=$FLEET_RUN/tmp/galaxy ansible-galaxy collection build --force \
    --output-path "$FLEET_RUN" "$FLEET_ROOT/ansible/ansible_collections/fileserver/shareadmin" \
    >/dev/null || fleet_fail "ansible-galaxy cannot build the collection"
  tarball=$(ls "$FLEET_RUN"/fileserver-shareadmin-*.tar.gz)
  ANSIBLE_HOME=$FLEET_RUN/tmp/galaxy ansible-galaxy collection install --force \
    -p "$FLEET_RUN/collections" "$tarball" >/dev/null ||
    fleet_fail "ansible-galaxy cannot install $tarball"
}

# The inventory: the first half of the hosts in group office, the rest in group build.
fleet_inventory() {
  local n=$1 i name group tools
  tools=$(fleet_tools)
  {
    for group in office build; do
      echo "[$group]"
      for ((i = 1; i <= n; i++)); do
        if { [ "$group" = office ] && [ $((i * 2)) -le $((n + 1)) ]; } ||
           { [ "$group" = build ] && [ $((i * 2)) -gt $((n + 1)) ]; }; then
          name=$(fleet_name "$i")
          echo "$name ansible_host=$(fleet_addr "$i") fleet_dir=$FLEET_RUN/hosts/$name"
        fi
      done
      echo
    done
    cat <<EOF
[fileservers:children]
office
build

[fileservers:vars]
ansible_user=root
ansible_ssh_private_key_file=$FLEET_RUN/id_ed25519
ansible_ssh_common_args='-o UserKnownHostsFile=$FLEET_RUN/known_hosts -o StrictHostKeyChecking=yes -o IdentitiesOnly=yes -o ConnectTimeout=10'
ansible_python_interpreter=/usr/bin/python3
shareadm_path=$tools/shareadm
EOF
  } >"$FLEET_RUN/inventory"
}

fleet_ansible_cfg() {
  cat >"$FLEET_RUN/ansible.cfg" <<EOF
[defaults]
inventory = $FLEET_RUN/inventory
collections_path = $FLEET_RUN/collections
local_tmp = $FLEET_RUN/tmp/local
remote_tmp = $FLEET_RUN/tmp/remote
forks = ${FLEET_FORKS:-10}
timeout = 20
task_timeout = 300
retry_files_enabled = false
interpreter_python = /usr/bin/python3

[ssh_connection]
pipelining = true
control_path_dir = $FLEET_RUN/cp
EOF
  export ANSIBLE_CONFIG=$FLEET_RUN/ansible.cfg
}

# fleet_playbook ARGS...: the fleet's playbook against the run's inventory.
fleet_playbook() {
  timeout 900 ansible-playbook "$FLEET_ROOT/tests/fleet/site.yml" "$@"
}

# fleet_prometheus: one Prometheus on the bridge, its targets found in a file, with the
# packaged rules; waits until it has scraped all N targets.
fleet_prometheus() {
  local dir=$FLEET_RUN/prometheus i
  mkdir -p "$dir/data"
  # The host's name as a label: the instance is only its address.
  for ((i = 1; i <= FLEET_N; i++)); do echo "$(fleet_name "$i") $(fleet_addr "$i"):9922"; done |
    python3 -c 'import json, sys
print(json.dumps([{"targets": [t], "labels": {"host": h}} for h, t in map(str.split, sys.stdin)]))' \
    >"$dir/targets.json"
  cp "$FLEET_ROOT/deploy/fileserver-alerts.yml" "$dir/"
  # The packaged configuration, with the targets from the file and a short interval (drift shows
  # within seconds; FLEET_SCRAPE_INTERVAL).
  /usr/bin/python3 - "$FLEET_ROOT/deploy/prometheus.yml" "$dir/prometheus.yml" \
    "${FLEET_SCRAPE_INTERVAL:-2s}" <<'EOF'
import sys, yaml
with open(sys.argv[1]) as f:
    conf = yaml.safe_load(f)
interval = sys.argv[3]
conf["global"]["scrape_interval"] = interval
conf["global"]["evaluation_interval"] = interval
for job in conf["scrape_configs"]:
    if job["job_name"] == "fileserver":
        job.pop("static_configs", None)
        job["scrape_timeout"] = interval
        job["file_sd_configs"] = [{"files": ["targets.json"], "refresh_interval": "5s"}]
with open(sys.argv[2], "w") as f:
    yaml.safe_dump(conf, f, sort_keys=False)
EOF
  promtool check config "$dir/prometheus.yml" >/dev/null || fleet_fail "Prometheus configuration refused"
  FLEET_PROM_START=$(date +%s.%N)
  prometheus --config.file="$dir/prometheus.yml" --storage.tsdb.path="$dir/data" \
    --web.listen-address="$FLEET_NET.1:9090" >"$dir/log" 2>&1 &
  FLEET_PROM="http://$FLEET_NET.1:9090"
  fleet_wait 300 0.1 curl -fs -o /dev/null "$FLEET_PROM/-/ready" ||
    fleet_fail "Prometheus is not ready: $(tail -5 "$dir/log")"
  fleet_wait 300 0.2 fleet_prom_equals 'count(up{job="fileserver"} == 1)' "$FLEET_N" ||
    fleet_fail "Prometheus does not see all $FLEET_N targets"
  FLEET_PROM_ALL=$(date +%s.%N)
}

# fleet_query EXPR: the instant vector as "host value" lines, sorted.
fleet_query() {
  curl -fs --max-time 10 "$FLEET_PROM/api/v1/query" --data-urlencode "query=$1" |
    python3 -c '
import json, sys
for r in json.load(sys.stdin)["data"]["result"]:
    print(r["metric"].get("host", "-"), r["value"][1])' | sort -V
}

fleet_prom_equals() { [ "$(fleet_query "$1" | awk '{ print $2 }')" = "$2" ]; }

# fleet_wait_query EXPR EXPECTED: until the query's "host value" lines are EXPECTED (60 s).
fleet_wait_query() {
  local i got
  for ((i = 0; i < 120; i++)); do
    got=$(fleet_query "$1")
    [ "$got" = "$2" ] && return 0
    sleep 0.5
  done
  echo "query $1: got" >&2
  echo "$got" >&2
  return 1
}

# fleet_ssh I COMMAND...: COMMAND on host I over the run's ssh.
fleet_ssh() {
  local i=$1
  shift
  timeout 60 ssh -i "$FLEET_RUN/id_ed25519" -o UserKnownHostsFile="$FLEET_RUN/known_hosts" \
    -o StrictHostKeyChecking=yes -o IdentitiesOnly=yes -o BatchMode=yes -o ConnectTimeout=10 \
    "root@$(fleet_addr "$i")" "$@"
}

# fleet_rss_kib: resident memory of every host's processes, in KiB.
fleet_rss_kib() {
  local name p total=0 kb
  for name in "${!FLEET_PIDS[@]}"; do
    for p in ${FLEET_PIDS[$name]}; do
      kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$p/status" 2>/dev/null || echo 0)
      total=$((total + ${kb:-0}))
    done
  done
  echo "$total"
}

# fleet_recap LOG: "host ok changed unreachable failed" per host of a playbook's recap.
fleet_recap() {
  sed -n '/^PLAY RECAP/,$p' "$1" | sed -E 's/\x1b\[[0-9;]*m//g' |
    awk '$2 == ":" { o = c = u = f = "";
      for (i = 3; i <= NF; i++) { split($i, kv, "=");
        if (kv[1] == "ok") o = kv[2]; if (kv[1] == "changed") c = kv[2];
        if (kv[1] == "unreachable") u = kv[2]; if (kv[1] == "failed") f = kv[2] }
      print $1, o, c, u, f }' | sort -V
}

# fleet_changed LOG: the hosts the playbook changed, one line.
fleet_changed() { fleet_recap "$1" | awk '$3 > 0 { printf "%s%s", s, $1; s = " " } END { print "" }'; }

# fleet_seconds START END: END - START (date +%s.%N), to a tenth.
fleet_seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }
