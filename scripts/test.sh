#!/usr/bin/env bash
# Builds every configuration and runs every test: the native build with
# AddressSanitizer and UndefinedBehaviorSanitizer, the unit tests again under
# ThreadSanitizer, the Windows build under Wine, and a short smoke of each
# libFuzzer harness. One ctest run covers all four build trees, so the output
# ends with one summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}

bash scripts/build.sh native tsan win fuzz

# build/CTestTestfile.cmake joins the trees into one ctest run.
printf 'subdirs("native" "tsan" "win" "fuzz")\n' > build/CTestTestfile.cmake

source scripts/wine-env.sh
# The windows of the GUI tests share one X display and one warm Wine.
display_start
wine_start
trap 'wine_stop; display_stop' EXIT
status=0
(cd build && ctest --output-on-failure -j "$jobs" --timeout 900) || status=$?
exit $status
