#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages), then the stb
# headers. Safe to run again: installed packages are not fetched twice.
set -euo pipefail
packages=(g++ cmake make binutils googletest libgtest-dev python3 debian-archive-keyring ca-certificates pkgconf libdeflate-dev valgrind
          ${RANVIQUE_EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "deps: missing packages: ${missing[*]} (run as root, or install them)" >&2
    exit 1
  fi
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi
bash "$(dirname "$0")/fetch-stb.sh"
