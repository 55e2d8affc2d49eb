#!/usr/bin/env bash
# Builds the library and every test, and runs them all. The last thing it
# prints is CTest's summary of the main suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
bash scripts/hardening.sh
bash scripts/windows-test.sh
ctest --preset release
