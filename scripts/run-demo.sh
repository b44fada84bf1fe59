#!/usr/bin/env bash
# make run: installs what is missing, builds the release programs, starts the
# slave simulator on a free loopback port with changing values and runs the
# demo project examples/demo.xmb against it: with an X display (DISPLAY set)
# in the Windows program, KestromMaster.exe under Wine, until its window is
# closed; without one with kestrom-master-cli until Ctrl-C. DEMO_SECONDS=N
# stops the demo after N seconds instead; DEMO_CLI=1 takes the command-line
# program even with a display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
BUILD_TARGETS="kestrom-master-cli kestrom-slave-sim" JOBS=${JOBS:-2} bash scripts/build.sh release

sim=build/release/tools/slave-sim/kestrom-slave-sim
cli=build/release/cli/kestrom-master-cli
project=examples/demo.xmb
for program in "$sim" "$cli"; do
  [ -x "$program" ] || { echo "run-demo: $program was not built" >&2; exit 1; }
done

work=$(mktemp -d)
source scripts/demo-env.sh
cleanup() {
  sim_stop
  rm -rf "$work"
}
trap cleanup EXIT

if ! sim_start "$sim" "$work" "${DEMO_SIMULATOR_ARGS[@]}"; then
  echo "run-demo: the demo cannot run without the simulator" >&2
  exit 1
fi
port=$sim_port

web=$(demo_web_port "${DEMO_WEB_PORT:-8888}")

if [ -n "${DISPLAY:-}" ] && [ -z "${DEMO_CLI:-}" ]; then
  # The program and the driver that presses Run, not the whole tree with its tests.
  BUILD_TARGETS="KestromMaster kestrom_driver" JOBS=${JOBS:-2} bash scripts/build.sh win
  exe=build/win/ui/KestromMaster.exe
  driver=build/win/tests/gui/kestrom_driver.exe
  # The demo project with this run's slave and web port.
  demo="$work/Kestrom Master demo.xmb"
  demo_project "$demo" "$port" "$web"
  source scripts/wine-env.sh
  wine_start
  cat <<TEXT
Slave simulator listening on 127.0.0.1:$port (values change every second).
Kestrom Master is opening on your display with the demo project
($demo). Press Run on the tool bar to poll; close the window to end the demo.
While it runs, other programs read the values: curl 127.0.0.1:$web/300
TEXT
  if [ -n "${DEMO_SECONDS:-}" ]; then
    wine "$exe" "Z:$demo" >/dev/null 2>&1 &
    program=$!
    wine "$driver" wait 60 >/dev/null 2>&1 || true
    wine "$driver" command 40007 >/dev/null 2>&1 || true
    sleep "$DEMO_SECONDS"
    wine "$driver" close >/dev/null 2>&1 || true
    wait "$program" || true
  else
    wine "$exe" "Z:$demo" >/dev/null 2>&1 || true
  fi
  wine_stop
  exit 0
fi

if [ -z "${DISPLAY:-}" ]; then
  echo "No X display here (DISPLAY is not set): the demo runs the command-line program."
  echo "With a display, make run opens KestromMaster.exe, the Windows program, under Wine;"
  echo "make screenshots takes pictures of its windows on a display of its own."
  echo
fi
cat <<TEXT
Slave simulator listening on 127.0.0.1:$port (values change every second).
Polling it with: $cli --host 127.0.0.1 --port $port --web-port $web $project
Every row below is one packet, timeout or link state. Stop with Ctrl-C.

Read the values with curl while it runs (JSON over HTTP; a browser takes the
same addresses, e.g. 127.0.0.1:$web/300):
  curl 127.0.0.1:$web/0       register 0 (counts up)
  curl 127.0.0.1:$web/300     float 300 (function 65)
  curl 127.0.0.1:$web/400     double 400 (function 67)
  curl 127.0.0.1:$web/9999    an unmapped address: the program information
  curl '127.0.0.1:$web/ident?item=20&value=1234'
                              register 20 becomes 1234; the write poll sends it
The web interface listens on all IPv4 addresses without authentication.

TEXT

args=(--host 127.0.0.1 --port "$port" --web-port "$web")
[ -n "${DEMO_SECONDS:-}" ] && args+=(--seconds "$DEMO_SECONDS")
# Ctrl-C goes to the master, which stops cleanly; this script carries on to
# stop the simulator.
trap ':' INT
status=0
"$cli" "${args[@]}" "$project" || status=$?
exit $status
