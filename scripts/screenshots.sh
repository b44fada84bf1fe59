#!/usr/bin/env bash
# make screenshots: photographs the Windows program's dialogs and panes on a
# private X display under Wine, the panes polling the slave simulator. The
# PNG files land in build/screenshots (SCREENSHOT_DIR to choose another).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
JOBS=${JOBS:-2} bash scripts/build.sh win release >/dev/null

out=${SCREENSHOT_DIR:-build/screenshots}
mkdir -p "$out"
host=build/win/tests/gui/screenshot_host.exe
sim=build/release/tools/slave-sim/kestrom-slave-sim
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

# The demo's slave: values that change every second.
"$sim" --port 0 --animate 1000 --animate-only hr:0-9 --animate-only coil:100-107 \
  --animate-only ir:200-203 --animate-only float:300-303 --animate-only double:400-401 \
  --set hr:0-9=100 --set ir:200:u32=0,70000 \
  --set hr:40:f32cdab=3.25,-7.5 --set float:300-303=1.5 --set double:400-401=20.25 --quiet \
  >"$work/sim.out" 2>"$work/sim.err" </dev/null &
sim_pid=$!
port=""
for _ in $(seq 100); do
  line=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
  if [[ $line =~ :([0-9]+)$ ]]; then port=${BASH_REMATCH[1]}; break; fi
  sleep 0.1
done
[ -n "$port" ] || { echo "the slave simulator did not start" >&2; exit 1; }

# shoot NAME ARGUMENTS...: runs the host with the arguments, waits until it
# says where its window is, and photographs that part of the screen.
shoot() {
  local name=$1
  shift
  : >"$work/host.out"
  timeout 90 wine "$host" "$@" >"$work/host.out" 2>/dev/null </dev/null &
  local pid=$! geometry=""
  for _ in $(seq 300); do
    geometry=$(grep -m1 '^ready' "$work/host.out" | tr -d '\r' || true)
    [ -n "$geometry" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$geometry" ]; then
    echo "screenshots: $name did not show" >&2
    kill "$pid" 2>/dev/null || true
    return 1
  fi
  read -r _ left top width height <<<"$geometry"
  import -window root -crop "${width}x${height}+${left}+${top}" +repage "$out/$name.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$out/$name.png"
}

shoot dialog-connection connection
shoot dialog-poll poll
shoot dialog-add-addresses add-addresses
shoot dialog-value value
shoot dialog-about about
shoot panes panes "Z:$root/examples/demo.xmb" 127.0.0.1 "$port"
