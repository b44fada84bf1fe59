#!/usr/bin/env bash
# Runs every libFuzzer harness for FUZZ_SECONDS each (default 120). The corpus
# stays in build/fuzz/corpus between runs; crashes land in build/fuzz/crashes.
# Each starts from the corpus kept in tests/fuzz/*/corpus and the seeds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/build.sh fuzz
seconds=${FUZZ_SECONDS:-120}
mkdir -p build/fuzz/crashes
status=0
for fuzzer in build/fuzz/fuzzers/*; do
  name=$(basename "$fuzzer")
  dirs=(build/fuzz/corpus/"$name")
  mkdir -p "${dirs[0]}"
  # The kept, minimised corpus first, then the hand-made seeds.
  for kept in $(find tests/fuzz -type d \( -path "*/corpus/$name" -o -path "*/seeds/$name" \) | sort); do
    dirs+=("$kept")
  done
  echo "== $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build/fuzz/crashes/"$name"- "${dirs[@]}" 2>&1 | tail -n 15 || status=1
done
exit $status
