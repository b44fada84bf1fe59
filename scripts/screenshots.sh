#!/usr/bin/env bash
# make screenshots: photographs the Windows program on a private X display
# under Wine: its dialogs and panes on their own, then KestromMaster.exe
# itself polling the slave simulator with the demo project (idle, running,
# with each dialog open, resized). The PNG files land in build/screenshots
# (SCREENSHOT_DIR to choose another); the main window polling the demo also
# becomes docs/images/main-window.png, the picture of the README and of the
# user guide, and the dialogs the guide shows, opened over the running window,
# become docs/images/guide-*.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
JOBS=${JOBS:-2} bash scripts/build.sh win release >/dev/null

out=${SCREENSHOT_DIR:-build/screenshots}
mkdir -p "$out"
host=build/win/tools/screenshots/screenshot_host.exe
exe=build/win/ui/KestromMaster.exe
driver=build/win/tests/gui/kestrom_driver.exe
sim=build/release/tools/slave-sim/kestrom-slave-sim
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

# The demo's slave: values that change every second.
sim_start "$sim" "$work" "${DEMO_SIMULATOR_ARGS[@]}"
port=$sim_port

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

# The program itself, driven from outside as in the end-to-end tests.
drive() { wine "$driver" "$@" 2>/dev/null | tr -d '\r'; }
# photograph NAME: the main window (and whatever it has open) as it stands.
photograph() {
  sleep 1
  read -r left top right bottom <<<"$(drive window)"
  import -window root -crop "$((right - left))x$((bottom - top))+${left}+${top}" +repage "$out/$1.png"
  echo "$out/$1.png"
}
# guide_picture TITLE NAME: the window titled TITLE alone, as the user
# guide's docs/images/NAME.png.
guide_picture() {
  read -r left top right bottom <<<"$(drive framed "$1")"
  import -window root -crop "$((right - left))x$((bottom - top))+${left}+${top}" +repage "docs/images/$2.png"
  echo "docs/images/$2.png"
}
# with_dialog COMMAND TITLE NAME [GUIDE NAME]: opens a dialog through a menu
# command, photographs it over the window (and alone for the guide) and
# cancels it.
with_dialog() {
  drive command "$1" >/dev/null
  drive dialog "$2" 10 >/dev/null
  photograph "$3"
  [ -z "${4:-}" ] || guide_picture "$2" "$4"
  drive answer "$2" 2 >/dev/null
  sleep 0.5
}

settings="$WINEPREFIX/drive_c/ProgramData/Kestrom Master/Kestrom Master.ini"
saved_settings=$(cat "$settings" 2>/dev/null || true)
mkdir -p "$(dirname "$settings")"
printf '[UI]\r\nSplitter=560\r\n' >"$settings"
demo="$work/demo.xmb"
demo_project "$demo" "$port" "$(demo_web_port 8888)"
# Not through the pipe of drive: the program would hold it open.
wine "$driver" launch "Z:$root/$exe" "Z:$demo" </dev/null >/dev/null 2>&1
drive wait 60 >/dev/null
drive resize 1240 760 >/dev/null
photograph main-idle
drive command 40007 >/dev/null
sleep 5
# The newest reply of the float poll, taken apart in the breakdown.
rows=$(drive rows monitor)
for ((row = rows - 1; row >= 0; row--)); do
  if [[ $(drive text monitor "$row" 2) == "Reply 65:"* ]]; then
    drive command 40009 >/dev/null
    drive select monitor "$row" >/dev/null
    break
  fi
done
photograph main-running
mkdir -p docs/images
cp "$out/main-running.png" docs/images/main-window.png
drive command 40007 >/dev/null
sleep 1
with_dialog 40002 "Connection Details" main-dialog-connection
# The guide's connection: a device on the plant network, typed in as a user
# would, then cancelled.
drive command 40002 >/dev/null
drive dialog "Connection Details" 10 >/dev/null
drive settext "Connection Details" 1001 192.168.1.50 >/dev/null
drive settext "Connection Details" 1002 502 >/dev/null
guide_picture "Connection Details" guide-connection
drive answer "Connection Details" 2 >/dev/null
sleep 0.5
drive select poll 3 >/dev/null
with_dialog 40008 "Modbus Poll" main-dialog-poll guide-poll
with_dialog 40016 "Add Addresses" main-dialog-add-addresses
# Add Polled Addresses fills the dialog from the selected poll (the floats).
with_dialog 40017 "Add Addresses" main-dialog-add-polled-addresses guide-add-addresses
drive select map 4 >/dev/null
read -r x y <<<"$(drive rowpoint map 4)"
xdotool mousemove "$x" "$y" click --repeat 2 --delay 80 1
drive dialog "Enter Value" 10 >/dev/null
photograph main-dialog-value
guide_picture "Enter Value" guide-enter-value
drive answer "Enter Value" 2 >/dev/null
with_dialog 40023 "About" main-dialog-about
drive resize 820 560 >/dev/null
photograph main-resized
drive close >/dev/null
drive answer "Kestrom Master" 7 >/dev/null 2>&1 || true
sleep 2
if [ -n "$saved_settings" ]; then printf '%s' "$saved_settings" >"$settings"; else rm -f "$settings"; fi
