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
  # The first display number that is free and stays ours: another test may
  # start an Xvfb at the same moment, and then ours exits at once.
  display=
  for n in $(seq 150 199); do
    [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ] || continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] || ! kill -0 "$xvfb" 2>/dev/null && break
      sleep 0.1
    done
    if kill -0 "$xvfb" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      pids+=("$xvfb")
      display=$n
      break
    fi
    kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null
  done
  [ -n "$display" ] || { echo "no X display could be started:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
  export DISPLAY=":$display"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 120 wineboot -i </dev/null >/dev/null 2>&1 || true
  timeout 60 wineserver -w </dev/null >/dev/null 2>&1 || true
fi
# A server left by an interrupted run would keep its desktop on a display
# that is gone. The new one and its helpers start detached from the test
# runner's pipes.
wineserver -k </dev/null >/dev/null 2>&1 || true
(setsid wineserver -p 5 </dev/null >/dev/null 2>&1 &)

# The output goes through a file: Wine's desktop process would hold a pipe
# open after the program ends.
timeout 120 wine "$program" "$@" </dev/null >"$work/output" 2>&1
status=$?
tr -d '\r' <"$work/output"
exit $status
