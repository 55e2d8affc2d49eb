#!/usr/bin/env bash
# Peak memory and time of small files that claim large canvases, one call
# each through the release module (ctypes host), measured with /usr/bin/time.
# Not part of CI: some cases allocate gigabytes. usage: scripts/measure-hostile.sh
set -euo pipefail
cd "$(dirname "$0")/.."
lib=build/release/libquillmar-ranvique.so
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
python3 - "$dir" <<'PY'
import struct, sys, zlib
d = sys.argv[1]
def put(name, data): open(f"{d}/{name}", "wb").write(data)
# 54-byte BMP, 24-bit, claiming 16,777,216 x 1 pixels, no pixel data.
put("bmp-2^24x1.bmp", b"BM" + struct.pack("<IHHI", 54, 0, 0, 54) +
    struct.pack("<IiiHHIIiiII", 40, 1 << 24, 1, 1, 24, 0, 0, 0, 0, 0, 0))
# PNG whose IDAT chunk claims 2^30 bytes and holds 16.
def chunk(t, body, length=None):
    return struct.pack(">I", len(body) if length is None else length) + t + body + struct.pack(">I", zlib.crc32(t + body))
put("png-idat-2^30.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 2, 0, 0, 0)) +
    chunk(b"IDAT", b"\0" * 16, 1 << 30))
# GIF claiming 23,170 x 23,170 with one tiny frame.
gif = b"GIF89a" + struct.pack("<HH", 23170, 23170) + b"\xf1\0\0" + b"\0" * 12
gif += b"," + struct.pack("<HHHH", 0, 0, 1, 1) + b"\0\x02\x02\x4c\x01\0;"
put("gif-23170sq.gif", gif)
# PPM claiming 16000 x 16000, 16 bytes of data.
put("ppm-16000sq.ppm", b"P6\n16000 16000\n255\n" + b"x" * 16)
# PSD claiming 2^24 x 1, raw, no data.
put("psd-2^24x1.psd", b"8BPS" + struct.pack(">H6xHIIHH", 1, 3, 1, 1 << 24, 8, 3) + b"\0" * 14)
PY
printf '%-22s %8s %10s %9s  %s\n' file bytes peak_MiB seconds result
for f in "$dir"/*; do
  for call in similarity diff; do
    out=$(/usr/bin/time -f '%M %e' timeout 120 python3 - "$lib" "$f" "$call" "$dir/out.png" 2>"$dir/time" <<'PY' || true
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1]); lib.ranvique_last_error.restype = ctypes.c_char_p
lib.ranvique_similarity.restype = ctypes.c_float
p = sys.argv[2].encode()
if sys.argv[3] == "similarity":
    r = lib.ranvique_similarity(p, p)
else:
    r = lib.ranvique_diff(p, p, sys.argv[4].encode())
print(f"{sys.argv[3]}={r} {lib.ranvique_last_error().decode(errors='replace').replace(sys.argv[2], '<file>')}")
PY
)
    read -r kb secs < <(tail -n1 "$dir/time")
    printf '%-22s %8s %10s %9s  %s\n' "$(basename "$f")" "$(stat -c %s "$f")" "$((kb / 1024))" "$secs" "$out"
  done
done
