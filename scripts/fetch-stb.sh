#!/usr/bin/env bash
# Brings the stb headers (stb_image, stb_image_resize2, stb_image_write) into
# third_party/stb/include without installing anything system-wide.
#
# Debian 12's libstb-dev has no stb_image_resize2.h, so the package is taken
# from Debian 13 (trixie) through a private apt configuration: its own source
# list on the mirror the machine already uses, signed by the archive keyring
# that is already installed, and its own state and cache folders. The .deb is
# unpacked with dpkg -x; nothing is registered with the system's dpkg.
#
# Where the system already ships stb_image_resize2.h (a newer distribution),
# nothing is fetched: CMake uses the system headers.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dest="$root/third_party/stb"
want_version="0.0~git20241109.5c20573+ds-1"

if [ "${1:-}" != "--force" ]; then
  if [ -f /usr/include/stb/stb_image_resize2.h ] || [ -f /usr/include/stb_image_resize2.h ]; then
    echo "fetch-stb: system stb headers are new enough; nothing to fetch"
    exit 0
  fi
  if [ -f "$dest/include/stb_image_resize2.h" ] && [ -f "$dest/VERSION" ]; then
    echo "fetch-stb: headers already present in $dest ($(cat "$dest/VERSION"))"
    exit 0
  fi
fi

# The mirror the machine's own sources use (deb822 or one-line format).
mirror=$(grep -hE '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}' | grep -v security | head -n1 || true)
if [ -z "$mirror" ]; then
  mirror=$(grep -hE '^deb ' /etc/apt/sources.list 2>/dev/null | awk '{print $2}' | grep -v security | head -n1 || true)
fi
mirror=${mirror:-http://deb.debian.org/debian}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
[ -f "$keyring" ] || { echo "fetch-stb: $keyring is missing (apt-get install debian-archive-keyring)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/etc/sources.list.d" "$tmp/etc/preferences.d" "$tmp/state/lists/partial" \
         "$tmp/cache/archives/partial" "$tmp/dl"
echo "deb [signed-by=$keyring] $mirror trixie main" > "$tmp/etc/sources.list"
touch "$tmp/state/status"
cat > "$tmp/apt.conf" <<CONF
Dir::Etc::SourceList "$tmp/etc/sources.list";
Dir::Etc::SourceParts "$tmp/etc/sources.list.d";
Dir::Etc::Preferences "$tmp/etc/preferences";
Dir::Etc::PreferencesParts "$tmp/etc/preferences.d";
Dir::State "$tmp/state";
Dir::State::status "$tmp/state/status";
Dir::Cache "$tmp/cache";
APT::Architecture "$(dpkg --print-architecture)";
CONF

export APT_CONFIG="$tmp/apt.conf"
echo "fetch-stb: reading the trixie package list from $mirror"
apt-get -q -o Debug::NoLocking=1 update >/dev/null
(cd "$tmp/dl" && apt-get -q -o Debug::NoLocking=1 download "libstb-dev=$want_version" >/dev/null 2>&1 \
   || apt-get -q -o Debug::NoLocking=1 download libstb-dev >/dev/null)
deb=$(ls "$tmp"/dl/libstb-dev_*.deb)
dpkg -x "$deb" "$tmp/x"

rm -rf "$dest"
mkdir -p "$dest/include"
for h in stb_image.h stb_image_resize2.h stb_image_write.h; do
  cp "$tmp/x/usr/include/stb/$h" "$dest/include/$h"
done
dpkg-deb -f "$deb" Version > "$dest/VERSION"
echo "fetch-stb: libstb-dev $(cat "$dest/VERSION") headers in $dest/include"
