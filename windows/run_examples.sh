#!/usr/bin/env bash
# Runs the quick start's programs of the Windows build through an emulator
# (Wine): the sample maker, then the example host, which is linked against the
# DLL's import library and so loads quillmar-ranvique.dll at start-up. Its
# output must be the one the Linux build prints, character for character.
# usage: run_examples.sh EMULATOR BUILD_DIR
set -euo pipefail
emulator=$1 build=$2
work="$build/windows/examples-run"
rm -rf "$work"
mkdir -p "$work/samples"
cd "$build"
"$emulator" ./ranvique_make_samples.exe windows/examples-run/samples | tr -d '\r' >/dev/null
run() { "$emulator" ./ranvique_compare.exe "$@" | tr -d '\r'; }
s=windows/examples-run/samples
actual=$(run "$s/scene.png" "$s/scene-moved.png" "$s/diff.png"
         run "$s/scene.png" "$s/scene.jpg"
         run "$s/scene.png" "$s/scene-half.png")
expected="$s/scene.png vs $s/scene-moved.png
  similarity 98.9505
  stats      {\"identical\":false,\"similarity\":98.95,\"different_pixels\":1928,\"total_pixels\":64000}
  perceptual 78.1250
  diff       $s/diff.png
$s/scene.png vs $s/scene.jpg
  similarity 99.3430
  stats      {\"identical\":false,\"similarity\":99.34,\"different_pixels\":30910,\"total_pixels\":64000}
  perceptual 100.0000
$s/scene.png vs $s/scene-half.png
  similarity 99.3445
  stats      {\"identical\":false,\"similarity\":99.34,\"different_pixels\":21131,\"total_pixels\":64000}
  perceptual 100.0000"
if [ "$actual" != "$expected" ]; then
  echo "the example host's output differs from the Linux build's:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
# The sample files are byte for byte those that the Linux build writes with
# stb's own encoders.
sums=$(cd "$s" && md5sum scene.png scene-moved.png scene.jpg scene-half.png | awk '{print $1}' | tr '\n' ' ')
want="95751abf81dc196d2430a74ef41c2232 508eddb4f1916bb2ed9e73a5c25e5328 d8ad54992dead29216b7cdaeaea579e7 ad3e4c568be8bbfe307359d9d2bcbd34 "
if [ "$sums" != "$want" ]; then echo "sample files differ from the Linux build's: $sums"; exit 1; fi
echo "examples: output and sample files as on Linux"
