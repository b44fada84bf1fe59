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
source scripts/demo-env.sh
cleanup() {
  sim_stop
  wine_stop
  display_stop
  rm -rf "$work"
}
trap cleanup EXIT
display_start
wine_start

# Values that change every 100 ms, so the address map keeps changing; no web port.
sim_start "$sim" "$work" --animate 100
demo_project "$work/load.xmb" "$sim_port" 0
for rate in ${2:-0 1}; do
  wine "$program" "Z:$work/load.xmb" "$rate" "$seconds" 2>/dev/null | tr -d '\r'
done
