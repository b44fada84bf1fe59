#!/usr/bin/env bash
# Builds the optimised native tree and runs every benchmark program in it.
# Extra arguments go to each program (e.g. --benchmark_filter=ParseByte).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/build.sh release
mapfile -t programs < <(find build/release/bench -type f -perm -u+x -not -path '*/CMakeFiles/*' | sort)
if [ "${#programs[@]}" -eq 0 ]; then
  echo "no benchmark programs in build/release/bench" >&2
  exit 1
fi
status=0
for program in "${programs[@]}"; do
  echo "== $(basename "$program")"
  "$program" "$@" || status=1
done
exit $status
