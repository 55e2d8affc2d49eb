#!/usr/bin/env bash
# The hardening suites, run by scripts/test.sh after the release build:
#  1. the whole test suite and the fuzz corpus replays built with
#     AddressSanitizer and UndefinedBehaviorSanitizer (no recovery);
#  2. the release test binaries and corpus replays under Valgrind memcheck,
#     each binary run once as a whole, any error or leak failing the run.
# The Python binding and the install test are left out there: an
# uninstrumented interpreter cannot load the instrumented module.
# Four UBSan checks are off (see the presets): alignment, shift-base and
# array-bounds, on which the stb resampler and JPEG writer rely by design
# (unaligned stores, shifts of negative values, offset table pointers), and
# nonnull-attribute (the PNG decoder copies zero bytes to a null buffer for an
# empty IDAT chunk). AddressSanitizer still checks every real memory access.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "hardening: sanitizer build (asan preset)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs" >/dev/null
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset asan --output-on-failure | tail -n 3

echo "hardening: valgrind memcheck of the release build"
vg=(valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect
    --errors-for-leak-kinds=definite,indirect --track-fds=no)
run() { echo "  memcheck: $*"; "${vg[@]}" "$@" >/tmp/ranvique-memcheck.log 2>&1 || { cat /tmp/ranvique-memcheck.log; exit 1; }; }
# One test pins the state of a freshly loaded module, so it runs in a process of its own.
fresh=State.LastErrorIsEmptyAndStableRightAfterLoading
run build/release/tests/ranvique_tests --gtest_brief=1 --gtest_filter="-$fresh"
run build/release/tests/ranvique_tests --gtest_brief=1 --gtest_filter="$fresh"
run build/release/tests/ranvique_hash_tests --gtest_brief=1
for t in similarity pair diff perceptual; do
  run "build/release/fuzz/ranvique_replay_$t" "fuzz/corpus/$t" "fuzz/regressions/$t"
done
echo "hardening: sanitizer and memcheck suites passed"
