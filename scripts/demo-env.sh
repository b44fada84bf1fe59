# Sourced by the scripts that run the demo project against the slave
# simulator: make run, make screenshots and the window's load benchmark.

# The demo's addresses: registers 0-9 count up, coils 100-107 walk one lit
# bit, the input registers 200-203 hold two counting 32-bit numbers, floats
# 300-303 and doubles 400-401 climb by 0.25, and registers 40-43 hold two
# floats with their words swapped. Values change every second.
DEMO_SIMULATOR_ARGS=(--animate 1000
  --animate-only hr:0-9 --animate-only coil:100-107 --animate-only ir:200-203
  --animate-only float:300-303 --animate-only double:400-401
  --set hr:0-9=100 --set ir:200:u32=0,70000 --set hr:40:f32cdab=3.25,-7.5
  --set float:300-303=1.5 --set double:400-401=20.25)

# sim_start PROGRAM FOLDER ARGS...: starts the simulator on a free loopback
# port with ARGS, in a session of its own (a Ctrl-C meant for a master does
# not reach it), and waits until it tells its port. Sets sim_pid and
# sim_port; its output goes to FOLDER/sim.out and sim.err.
sim_pid=""
sim_port=""
sim_start() {
  local program=$1 folder=$2 line
  shift 2
  setsid "$program" --port 0 "$@" --quiet >"$folder/sim.out" 2>"$folder/sim.err" </dev/null &
  sim_pid=$!
  for _ in $(seq 1 100); do
    line=$(head -n 1 "$folder/sim.out" 2>/dev/null || true)
    if [[ $line =~ ^listening\ on\ [0-9.]+:([0-9]+)$ ]]; then
      sim_port=${BASH_REMATCH[1]}
      return 0
    fi
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the slave simulator did not start:" >&2
  cat "$folder/sim.err" >&2
  return 1
}

# Asks the simulator to end, and ends it when it does not within 5 seconds.
sim_stop() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$sim_pid" 2>/dev/null || true
  fi
  sim_pid=""
}

# demo_web_port PORT: PORT, or a free one when something else holds it.
demo_web_port() {
  if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then
    /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
  else
    echo "$1"
  fi
}

# demo_project TARGET SLAVE_PORT [WEB_PORT]: the demo project with this run's
# slave port (and web port), written as the program writes projects.
demo_project() {
  /usr/bin/python3 - examples/demo.xmb "$@" <<'PYTHON'
import re, sys
source, target, port = sys.argv[1:4]
text = open(source, "rb").read().decode("utf-16")
text = re.sub(r"port: \d+", "port: " + port, text, count=1)
if len(sys.argv) > 4:
    text = re.sub(r"webport: \d+", "webport: " + sys.argv[4], text)
text = text.lstrip("\ufeff")
open(target, "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
PYTHON
}
