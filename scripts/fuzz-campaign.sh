#!/usr/bin/env bash
# scripts/fuzz-campaign.sh [TOTAL]  runs every libFuzzer harness for a share of
# TOTAL executions (default 20 million), one after the other under nice, each
# starting from its kept corpus, its seeds and what earlier runs found
# (build/fuzz/corpus). It prints each harness's executions and the total, and
# fails on the first finding (the input lands in build/fuzz/crashes).
# With MINIMISE=1 it then merges what was found into the kept corpora
# (tests/fuzz/*/corpus/NAME), which make fuzz and the make test smoke start from.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
total=${1:-20000000}
bash scripts/build.sh fuzz >/dev/null

# Shares in thousandths: the fast whole-reply decoder takes the most, the
# harnesses whose single run does the most work (a project file read, a
# series of web requests) the least.
declare -A share=([parse_reply]=300 [parse_byte]=200 [json_parser]=200 [breakdown]=150
                  [project_reader]=75 [web_target]=75)
mkdir -p build/fuzz/crashes
sum=0
for name in parse_reply parse_byte json_parser breakdown project_reader web_target; do
  fuzzer=build/fuzz/fuzzers/$name
  runs=$((total / 1000 * ${share[$name]}))
  module=$(dirname "$(find tests/fuzz -type d -path "*/seeds/$name" | head -n 1)")
  module=${module%/seeds}
  dirs=(build/fuzz/corpus/"$name")
  mkdir -p "${dirs[0]}"
  for kept in "$module/corpus/$name" "$module/seeds/$name"; do
    if [ -d "$kept" ]; then dirs+=("$kept"); fi
  done
  start=$(date +%s)
  log=build/fuzz/campaign-$name.log
  if ! nice -n 10 "$fuzzer" -runs="$runs" -print_final_stats=1 \
      -artifact_prefix=build/fuzz/crashes/"$name"- "${dirs[@]}" >"$log" 2>&1; then
    echo "FINDING in $name:"; grep -E "ERROR|==[0-9]+==|$name:" "$log" | head -n 20
    exit 1
  fi
  done_runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  rate=$(awk '/stat::average_exec_per_sec/ {print $2}' "$log")
  sum=$((sum + done_runs))
  printf '%-15s %10d executions  %6d/s  %4ds  no finding\n' "$name" "$done_runs" "$rate" \
    $(($(date +%s) - start))
  if [ "${MINIMISE:-0}" = 1 ]; then
    mkdir -p "$module/corpus/$name"
    merged=$(mktemp -d)
    "$fuzzer" -merge=1 "$merged" "${dirs[@]}" >/dev/null 2>&1
    rm -rf "$module/corpus/$name"; mv "$merged" "$module/corpus/$name"
    chmod 755 "$module/corpus/$name"
  fi
done
echo "fuzzing: $sum executions in total, no finding"
