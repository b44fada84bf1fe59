#!/usr/bin/env bash
# make stress: the long hardening checks, each bounded in time, with their
# figures. Not part of make test (which runs short versions of most of them).
#   scripts/stress.sh [fuzz] [kill] [disconnects] [soak] [idle] [faults]
# Without arguments every check runs, in that order. Everything talks to
# 127.0.0.1 only. FUZZ_EXECUTIONS (default 20 million, over every fuzzer) and
# KILL_TRIALS (default 1000, and 50 under Wine) change the sizes.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
checks=("$@")
if [ ${#checks[@]} -eq 0 ]; then checks=(fuzz kill disconnects soak idle faults); fi
export JOBS=${JOBS:-$(nproc)}
export PYTHONDONTWRITEBYTECODE=1
summary=()
failed=0

note() {
  summary+=("$1: $2")
  if [ "$2" != passed ]; then failed=1; fi
}

# Runs one check, keeping its output in build/stress/NAME.log and showing
# the lines with its figures.
run() {
  local name=$1; shift
  mkdir -p build/stress
  echo "== $name"
  if "$@" >"build/stress/$name.log" 2>&1; then note "$name" passed; else note "$name" FAILED; fi
  grep -E "^(ok|FAIL) |executions|trials|drops|soak:|memory:|idle connections:|passed|failed|tests|FINDING|standard error" \
    "build/stress/$name.log" | grep -v "^\[ *OK" | tail -n 40
}

needs() {
  for tree in "$@"; do bash scripts/build.sh "$tree" >/dev/null || exit 1; done
}

sim() { echo "$root/build/$1/tools/slave-sim/kestrom-slave-sim"; }
cli() { echo "$root/build/$1/cli/kestrom-master-cli"; }

for check in "${checks[@]}"; do
  case $check in
    fuzz)
      run fuzz bash scripts/fuzz-campaign.sh "${FUZZ_EXECUTIONS:-20000000}" ;;
    kill)
      # The optimised build, so a thousand saves of a 5 MB project fit in
      # minutes; then the Windows build under Wine.
      needs release win
      run kill env KESTROM_CLI="$(cli release)" KESTROM_SLAVE_SIM="$(sim release)" \
        PYTHONPATH=tests/integration /usr/bin/python3 tests/integration/cli/kill_save.py \
        "${KILL_TRIALS:-1000}"
      source scripts/wine-env.sh
      wine_start
      run kill-wine env KESTROM_WIN_CLI="$root/build/win/cli/kestrom-master-cli.exe" \
        KESTROM_WINEPREFIX="$WINEPREFIX" KESTROM_SLAVE_SIM="$(sim release)" \
        PYTHONPATH=tests/integration /usr/bin/python3 tests/integration/cli/kill_save.py --wine \
        "${KILL_WINE_TRIALS:-50}"
      wine_stop ;;
    disconnects)
      # AddressSanitizer's LeakSanitizer checks the process at its end.
      needs native
      run disconnects env KESTROM_SOAK_DROPS=1000 \
        build/native/tests/integration/engine/engine_peer_tests --gtest_filter=TcpSoak.* ;;
    soak)
      needs tsan release
      # Under ThreadSanitizer for its reports, then optimised for the memory.
      run soak env KESTROM_CLI="$(cli tsan)" KESTROM_SLAVE_SIM="$(sim release)" \
        /usr/bin/python3 tests/stress/web_stress.py soak 60 sanitizer
      run soak-memory env KESTROM_CLI="$(cli release)" KESTROM_SLAVE_SIM="$(sim release)" \
        /usr/bin/python3 tests/stress/web_stress.py soak 60 ;;
    idle)
      needs release
      run idle env KESTROM_CLI="$(cli release)" KESTROM_SLAVE_SIM="$(sim release)" \
        /usr/bin/python3 tests/stress/web_stress.py idle 30 ;;
    faults)
      needs native
      run faults build/native/tests/integration/engine/engine_fault_table ;;
    *) echo "unknown check: $check" >&2; exit 2 ;;
  esac
done

echo "== stress summary"
printf '%s\n' "${summary[@]}"
exit $failed
