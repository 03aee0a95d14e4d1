#!/bin/bash
# make cluster-check: the Slurm recipe of dist/examples run for real on this machine. Starts
# munged and a one-node Slurm (slurmctld and slurmd) of its own in a scratch folder, serves 8
# sites from the test server, submits the job array (8 shards) and its merge, and compares the
# merged harvest with one process's. Needs root (slurmd starts the jobs as their user) and
# Debian's slurm-wlm and munge. Not part of ctest: it takes over the machine's Slurm ports.
# Usage: tests/dist/cluster_check.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: cluster_check.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d /tmp/tarnwick-cluster.XXXXXX)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "cluster-check: $*" >&2
    for log in "$tmp"/*.log; do
        [ -f "$log" ] && { echo "== $log" >&2; tail -15 "$log" >&2; }
    done
    exit 1
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local limit=$1
    shift
    for _ in $(seq 1 $((limit * 4))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.25
    done
    return 1
}
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

for tool in munged slurmctld slurmd sbatch; do
    command -v "$tool" >/dev/null || fail "$tool is missing (apt-get install slurm-wlm munge)"
done
[ "$(id -u)" -eq 0 ] || fail "slurmd must run as root to start jobs"

echo "== munged"
dd if=/dev/urandom of="$tmp/munge.key" bs=1024 count=1 status=none
chmod 600 "$tmp/munge.key"
munged --force --foreground --key-file="$tmp/munge.key" --socket="$tmp/munge.socket" \
    --pid-file="$tmp/munged.pid" --log-file="$tmp/munged.log" --seed-file="$tmp/munged.seed" \
    >"$tmp/munged.out.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$tmp/munge.socket" || fail "munged did not start"

echo "== slurmctld and slurmd"
node=$(hostname -s)
cpus=$(nproc)
mkdir -p "$tmp/state" "$tmp/spool"
cat >"$tmp/slurm.conf" <<CONF
ClusterName=tarnwick
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
AuthType=auth/munge
AuthInfo=socket=$tmp/munge.socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=check Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$tmp/slurm.conf
slurmctld -D -i >"$tmp/slurmctld.out.log" 2>&1 &
pids+=($!)
slurmd -D >"$tmp/slurmd.out.log" 2>&1 &
pids+=($!)
wait_for 60 sh -c 'sinfo -h -N -o %t | grep -qE "^(idle|mix|alloc)"' ||
    fail "the node did not come up: $(sinfo -N 2>&1 | tr '\n' ' ')"

echo "== the sites"
work=$tmp/work
mkdir -p "$work"
python3 - "$tmp/sites.json" <<'PY'
import json, sys
routes = {}
for k in range(1, 9):
    s, site = "/s%d/" % k, "site%d.example" % k
    routes[s] = {"body": "<a href=a.htm>a</a> <a href=mailto:info@%s>i</a> "
                         "<a href=mailto:all@shared.example>s</a>" % site}
    routes[s + "a.htm"] = {"body": "<a href=b.htm>b</a> <a href=mailto:team@%s>t</a>" % site}
    routes[s + "b.htm"] = {"body": "<a href=mailto:deep@%s>d</a>" % site}
json.dump({"routes": routes}, open(sys.argv[1], "w"))
PY
coproc server { python3 "$root/tests/server/testserver.py" --config "$tmp/sites.json" \
    --log "$tmp/requests.jsonl" --addresses 8 2>"$tmp/server.log"; }
pids+=("$server_PID")
read -r word port <&"${server[0]}" && [ "$word" = PORT ] || fail "the test server did not start"
for k in 3 1 8 5 2 7 4 6; do echo "http://127.0.0.$k:$port/s$k/"; done >"$work/starts.txt"

echo "== one process"
export PATH=$build/cli:$PATH
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
(cd "$work" && tarnwick-crawl --quiet --list starts.txt -o single.txt) || fail "the single crawl failed"

echo "== the job array and its merge"
(cd "$work" && timeout 300 sh "$root/dist/examples/slurm-submit.sh" \
    "$root/dist/examples/slurm-shards.sbatch") || fail "the Slurm jobs failed: $(cat "$work"/*.log 2>/dev/null)"
for shard in $(seq 1 8); do
    [ -f "$work/shard-$shard.txt" ] || fail "shard $shard wrote no harvest"
done
cmp "$work/single.txt" "$work/harvest.txt" ||
    fail "the merged harvest differs: $(diff "$work/single.txt" "$work/harvest.txt")"
echo "cluster-check: 8 shards on Slurm, merged: $(wc -l <"$work/harvest.txt") results, the same as one process's"
