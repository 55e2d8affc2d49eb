#!/usr/bin/env bash
# Installs what is needed, builds the library and the ranvique program, makes
# the sample images and compares them with ranvique.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
samples=build/release/samples
mkdir -p "$samples"
build/release/ranvique_make_samples "$samples"
ranvique=build/release/cli/ranvique
compare() {
  echo "$1 vs $2"
  echo "  similarity $("$ranvique" similarity "$1" "$2")"
  echo "  stats      $("$ranvique" stats "$1" "$2")"
  echo "  perceptual $("$ranvique" perceptual "$1" "$2")"
  if [ $# -gt 2 ]; then
    "$ranvique" diff "$1" "$2" "$3" >/dev/null
    echo "  diff       $3"
  fi
}
compare "$samples/scene.png" "$samples/scene.png"
compare "$samples/scene.png" "$samples/scene-moved.png" "$samples/diff.png"
compare "$samples/scene.png" "$samples/scene.jpg"
compare "$samples/scene.png" "$samples/scene-half.png"

# A gate as a test pipeline uses it: the exit status says pass (0) or fail (1).
status=0
"$ranvique" similarity --min-similarity 99 "$samples/scene.png" "$samples/scene-moved.png" >/dev/null || status=$?
echo "gate --min-similarity 99 on scene-moved.png: exit status $status"

# All pairs at once, one JSON line each.
echo "batch:"
printf '%s\t%s\n' "$samples/scene.png" "$samples/scene-moved.png" \
                  "$samples/scene.png" "$samples/scene.jpg" \
                  "$samples/scene.png" "$samples/scene-half.png" |
  "$ranvique" batch --jobs 2
