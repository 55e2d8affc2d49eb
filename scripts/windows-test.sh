#!/usr/bin/env bash
# The Windows DLL: installs the mingw-w64 cross compiler and Wine (Debian
# packages, without recommended ones), cross-builds quillmar-ranvique.dll and
# its import library (preset windows, build/windows), checks the DLL's export
# and import tables and runs the host check and the example programs under
# Wine. The Wine prefix lives in build/windows/wine-prefix.
# RANVIQUE_SKIP_WINDOWS=1 skips the whole step.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${RANVIQUE_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "windows: skipped (RANVIQUE_SKIP_WINDOWS=1)"
  exit 0
fi
RANVIQUE_EXTRA_PACKAGES="${RANVIQUE_EXTRA_PACKAGES:-} g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 wine64" \
  bash scripts/deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"
ctest --preset windows
