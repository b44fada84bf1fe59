#!/usr/bin/env bash
# run-on-display.sh PROGRAM.exe [ARGUMENTS...]
# Runs a Windows test program under Wine on an X display, which Wine needs
# to create windows. The display is $KESTROM_TEST_DISPLAY when the caller
# provides one (":N"), otherwise a private Xvfb started here. The program
# runs in a Wine prefix of its own, because a prefix's desktop process stays
# on the display it first used and the build's shared prefix runs without
# one. Everything started here is stopped by its PID, and the run is bounded.
set -uo pipefail
program=$1
shift
work=$(mktemp -d)
pids=()
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}-display"
cleanup() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

if [ -n "${KESTROM_TEST_DISPLAY:-}" ]; then
  export DISPLAY=$KESTROM_TEST_DISPLAY
else
  # A free display number: the first without a lock file or a socket.
  display=
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
  done
  [ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  [ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
  export DISPLAY=":$display"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 120 wineboot -i </dev/null >/dev/null 2>&1 || true
  timeout 60 wineserver -w </dev/null >/dev/null 2>&1 || true
fi
# The server and its helpers start detached from the test runner's pipes.
(setsid wineserver -p 5 </dev/null >/dev/null 2>&1 &)

# The output goes through a file: Wine's desktop process would hold a pipe
# open after the program ends.
timeout 120 wine "$program" "$@" </dev/null >"$work/output" 2>&1
status=$?
tr -d '\r' <"$work/output"
exit $status
