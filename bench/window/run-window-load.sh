#!/usr/bin/env bash
# The Windows program under load: the real main window polls the slave
# simulator with the demo project at poll rate 0 and 1 ms, on an X display
# of its own under Wine, while its answer time to sent messages is measured.
#   bench/window/run-window-load.sh [SECONDS [RATES]]
#   (default 60 seconds for each of the poll rates "0 1")
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
seconds=${1:-60}
program=build/win/bench/window/window_load.exe
sim=build/release/tools/slave-sim/kestrom-slave-sim
for file in "$program" "$sim"; do
  [ -x "$file" ] || { echo "run-window-load: $file was not built" >&2; exit 1; }
done
work=$(mktemp -d)
source scripts/wine-env.sh
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wine_stop
  display_stop
  rm -rf "$work"
}
trap cleanup EXIT
display_start
wine_start

"$sim" --port 0 --animate 100 --quiet >"$work/sim.out" 2>/dev/null </dev/null &
sim_pid=$!
port=""
for _ in $(seq 100); do
  line=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
  if [[ $line =~ :([0-9]+)$ ]]; then port=${BASH_REMATCH[1]}; break; fi
  sleep 0.1
done
[ -n "$port" ] || { echo "the slave simulator did not start" >&2; exit 1; }
/usr/bin/python3 - examples/demo.xmb "$work/load.xmb" "$port" <<'PYTHON'
import re, sys
source, target, port = sys.argv[1:4]
text = open(source, "rb").read().decode("utf-16")
text = re.sub(r"port: \d+", "port: " + port, text, count=1)
text = re.sub(r"webport: \d+", "webport: 0", text)
open(target, "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
PYTHON
for rate in ${2:-0 1}; do
  wine "$program" "Z:$work/load.xmb" "$rate" "$seconds" 2>/dev/null | tr -d '\r'
done
