#!/usr/bin/env bash
# bench/publish/run-load.sh [BUILD_DIR] [SECONDS]
# The web interface under load while the Ethernet master polls: starts the
# slave simulator (values changing every 10 ms), the load server polling it
# every 10 ms with its web interface, and a bounded wrk run against
# "updates" and against a single address, all on 127.0.0.1. Prints wrk's
# requests per second and latency percentiles, then the poll gaps the server
# measured. Use an optimised build (scripts/build.sh release).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/release}
seconds=${2:-10}
sim=${KESTROM_SLAVE_SIM:-$build/tools/slave-sim/kestrom-slave-sim}
server=$build/bench/publish/kestrom-web-load-server
command -v wrk >/dev/null || { echo "wrk is not installed (scripts/install-deps.sh)" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

"$sim" --port 0 --set hr:0-9=0 --animate 10 >"$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q '^listening on' "$work/sim.out" && break; sleep 0.1; done
slave_port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/sim.out")
[ -n "$slave_port" ] || { echo "simulator did not start" >&2; cat "$work/sim.out" >&2; exit 1; }

web_port=$(( 20000 + RANDOM % 20000 ))
run_for=$(( 2 * seconds + 4 ))
"$server" "$slave_port" "$web_port" "$run_for" 10 >"$work/server.out" 2>&1 &
server_pid=$!
pids+=($server_pid)
for _ in $(seq 50); do grep -q '^ready' "$work/server.out" && break; sleep 0.1; done
grep -q '^ready' "$work/server.out" || { echo "server did not start" >&2; cat "$work/server.out" >&2; exit 1; }
curl -s "127.0.0.1:$web_port/subscribe?item=0&item=1&item=2&item=3&item=4" >/dev/null

# The server under test on the loopback address; wrk wants the scheme given.
scheme=http
for target in /updates /5; do
  echo "== wrk, 2 threads, 16 connections, ${seconds}s: GET $target"
  wrk -t2 -c16 -d"${seconds}s" --timeout 2s --latency "$scheme://127.0.0.1:$web_port$target" |
    grep -E 'Requests/sec|Latency|50%|90%|99%|requests in|Socket errors|Non-2xx'
done

wait "$server_pid" || true
echo "== polling during the run"
grep '^polls:' "$work/server.out" || cat "$work/server.out"
