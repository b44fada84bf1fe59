#!/usr/bin/env bash
# run-dde-test.sh SERVER.exe CLIENT.exe
# The DDE test under Wine: DDE needs an X display there, so this starts its
# own Xvfb, then the server and the client; every process it starts is
# stopped by its PID, and the whole run is bounded.
set -uo pipefail
server=$1
client=$2
work=$(mktemp -d)
pids=()
cleanup() {
  [ -z "${WINEPREFIX:-}" ] || [ "${WINEPREFIX%-dde}" = "$WINEPREFIX" ] || stop_wine
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A free display number: the first without a lock file.
display=
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
Xvfb ":$display" -screen 0 640x480x24 -nolisten tcp </dev/null >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"

# A Wine prefix of its own: a prefix's wineserver and desktop stay on the
# display they were started with, and the build's shared server runs without
# one. Its server and helpers start detached from the test runner's pipes and
# end with the test.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}-dde"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 120 wineboot -i </dev/null >/dev/null 2>&1 || true
  timeout 60 wineserver -w </dev/null >/dev/null 2>&1 || true
fi
(setsid wineserver -p 5 </dev/null >/dev/null 2>&1 &)
timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
stop_wine() { wineserver -k </dev/null >/dev/null 2>&1 || true; }

# One server and one client; the output is the client's checks and the
# server's connection counts.
run_pair() {
  : >"$work/server.out"
  timeout 40 wine "$server" </dev/null >"$work/server.out" 2>&1 &
  local server_pid=$!
  pids+=($server_pid)
  for _ in $(seq 200); do grep -q ready "$work/server.out" && break; sleep 0.1; done
  grep -q ready "$work/server.out" || { echo "server did not start:"; cat "$work/server.out"; return 1; }
  timeout 40 wine "$client" </dev/null >"$work/client.out" 2>&1
  local status=$?
  wait "$server_pid"
  local server_status=$?
  tr -d '\r' <"$work/client.out"
  echo "server (exit $server_status): $(tr -d '\r' <"$work/server.out" | tail -n 1)"
  [ "$status" -eq 0 ] && [ "$server_status" -eq 0 ]
}

run_pair
