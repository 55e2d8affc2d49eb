#!/usr/bin/env bash
# Installs the build into a fresh prefix, then uses the installed tree the
# ways a user does: a consumer built with find_package and with pkg-config,
# the installed host, and the installed Python package.
# usage: run.sh BUILD_DIR CMAKE C_COMPILER PYTHON
set -euo pipefail
build=$1 cmake=$2 cc=$3 python=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

step() { echo "== $*"; }

step "install into $prefix"
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log"
for f in include/ranvique.h bin/ranvique; do
  [ -e "$prefix/$f" ] || { echo "missing $f"; cat "$work/install.log"; exit 1; }
done
libdir=$(dirname "$(find "$prefix" -name 'libquillmar-ranvique.so.*.*.*' | head -n1)")
[ -n "$libdir" ] && [ -L "$libdir/libquillmar-ranvique.so.0" ] && [ -L "$libdir/libquillmar-ranvique.so" ] \
  || { echo "library, SONAME link or development link missing"; exit 1; }
soname=$(objdump -p "$libdir/libquillmar-ranvique.so" | awk '/SONAME/ {print $2}')
[ "$soname" = "libquillmar-ranvique.so.0" ] || { echo "SONAME is '$soname'"; exit 1; }

step "consumer with find_package"
"$cmake" -S "$here/consumer" -B "$work/fp" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_BUILD_TYPE=Release >"$work/fp.log" || { cat "$work/fp.log"; exit 1; }
"$cmake" --build "$work/fp" >>"$work/fp.log" || { cat "$work/fp.log"; exit 1; }
mkdir -p "$work/run-fp"
"$work/fp/consumer" "$work/run-fp"
grep -q "$prefix" "$work/fp/CMakeCache.txt" || { echo "find_package did not use the prefix"; exit 1; }

step "consumer with pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
pkg-config --exists --print-errors 'quillmar-ranvique >= 0.1'
flags=$(pkg-config --cflags --libs quillmar-ranvique)
echo "pkg-config: $flags"
"$cc" -std=c99 -Wall -Wextra -Werror -o "$work/pc-consumer" "$here/consumer/consumer.c" $flags
mkdir -p "$work/run-pc"
LD_LIBRARY_PATH=$(pkg-config --variable=libdir quillmar-ranvique) "$work/pc-consumer" "$work/run-pc"

step "installed host"
"$prefix/bin/ranvique" --version
"$prefix/bin/ranvique" stats "$work/run-fp/a.ppm" "$work/run-fp/b.ppm"
used=$(env -u LD_LIBRARY_PATH ldd "$prefix/bin/ranvique" | awk '/libquillmar-ranvique/ {print $3}')
[ "$(realpath "$used")" = "$(realpath "$libdir/libquillmar-ranvique.so.0")" ] \
  || { echo "the installed host uses '$used', not the installed library"; exit 1; }

step "installed Python package"
site=$(dirname "$(find "$prefix" -path '*/ranvique/__init__.py' | head -n1)")
(cd "$work" && env -u RANVIQUE_LIBRARY -u LD_LIBRARY_PATH PYTHONPATH="$(dirname "$site")" PYTHONDONTWRITEBYTECODE=1 \
  "$python" -c '
import os, sys, ranvique
lib = ranvique.library_path()
print("python loads", lib)
assert os.path.realpath(lib).startswith(os.path.realpath(sys.argv[1])), lib
print("python stats", ranvique.stats(sys.argv[2] + "/a.ppm", sys.argv[2] + "/b.ppm"))
' "$prefix" "$work/run-fp")
echo "install and consume: ok"
