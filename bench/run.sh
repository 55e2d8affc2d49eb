#!/usr/bin/env bash
# Runs the benchmark suite and writes bench/results/results.md (table) and
# bench/results/ratios.png (plot). Generated images stay in build/bench-data.
#   bash bench/run.sh
# RANVIQUE_BENCH_BASELINE=/path/to/libquillmar-ranvique.so adds the exports of
# an earlier build as a "before" column, measured in the same run.
# RANVIQUE_BENCH_REPETITIONS (default 5) sets the repetitions per benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
RANVIQUE_EXTRA_PACKAGES="libbenchmark-dev libpng-dev gnuplot-nox ${RANVIQUE_EXTRA_PACKAGES:-}" bash scripts/deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j 2 >/dev/null
bin=build/bench/bench/ranvique_bench
export RANVIQUE_BENCH_DATA="$PWD/build/bench-data"
mkdir -p "$RANVIQUE_BENCH_DATA" bench/results
reps=${RANVIQUE_BENCH_REPETITIONS:-5}
out=build/bench-out
mkdir -p "$out"
echo "bench: timings ($reps repetitions each)"
"$bin" --benchmark_repetitions="$reps" --benchmark_out="$out/after.json" --benchmark_out_format=json >/dev/null
if [ -n "${RANVIQUE_BENCH_BASELINE:-}" ]; then
  echo "bench: baseline module $RANVIQUE_BENCH_BASELINE"
  RANVIQUE_MODULE="$RANVIQUE_BENCH_BASELINE" "$bin" --benchmark_filter='^(similarity|stats|diff|perceptual)/' \
    --benchmark_repetitions="$reps" --benchmark_out="$out/before.json" --benchmark_out_format=json >/dev/null
fi
echo "bench: PNG compressors"
"$bin" --compressors > "$out/compressors.md"
echo "bench: peak memory"
"$bin" --peak-memory > "$out/memory.md"
python3 bench/report.py "$out" bench/results
gnuplot bench/results/ratios.gp
echo "bench: wrote bench/results/results.md and bench/results/ratios.png"
