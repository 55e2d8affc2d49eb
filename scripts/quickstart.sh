#!/usr/bin/env bash
# Installs what is needed, builds the library, makes the sample images and
# compares them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
samples=build/release/samples
mkdir -p "$samples"
build/release/ranvique_make_samples "$samples"
run() { build/release/ranvique_compare "$@"; }
run "$samples/scene.png" "$samples/scene.png"
run "$samples/scene.png" "$samples/scene-moved.png" "$samples/diff.png"
run "$samples/scene.png" "$samples/scene.jpg"
run "$samples/scene.png" "$samples/scene-half.png"
