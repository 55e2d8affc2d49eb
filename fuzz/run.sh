#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time, one after another on one
# core, growing a work corpus from the seeds; faults land in build/fuzz/faults.
# usage: fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]   (default 300 s, all four)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(similarity pair diff perceptual)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 --target $(printf "ranvique_fuzz_%s " "${targets[@]}") >/dev/null
mkdir -p build/fuzz/work build/fuzz/faults build/fuzz/logs
for t in "${targets[@]}"; do
  mkdir -p "build/fuzz/work/$t"
  echo "fuzz: $t for ${seconds}s"
  "build/fuzz/fuzz/ranvique_fuzz_$t" "build/fuzz/work/$t" "fuzz/corpus/$t" \
    -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -malloc_limit_mb=4096 \
    -artifact_prefix="build/fuzz/faults/$t-" -print_final_stats=1 \
    >"build/fuzz/logs/$t.log" 2>&1 || echo "fuzz: $t stopped with a fault (see build/fuzz/logs/$t.log)"
  grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "build/fuzz/logs/$t.log" | tail -2 || true
done
