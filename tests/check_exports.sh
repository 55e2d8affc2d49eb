#!/usr/bin/env bash
# Checks that a shared object exports exactly the named functions: nothing
# else of the library and nothing of the code compiled into it.
# usage: check_exports.sh LIBRARY NAME...
set -euo pipefail
lib=$1; shift
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWiV]$/ {print $3}' | sed 's/@.*//' | sort -u)
expected=$(printf '%s\n' "$@" | sort -u)
if [ "$actual" != "$expected" ]; then
  echo "exported functions differ from the expected list"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
others=$(nm -D --defined-only "$lib" | awk '$2 !~ /^[TtWiV]$/ {print $3}' | grep -v -E '^(_init|_fini)$' || true)
if [ -n "$others" ]; then
  echo "unexpected defined symbols:"; echo "$others"; exit 1
fi
echo "exports: $(echo $actual)"
