#!/usr/bin/env bash
# Frames per second of a 100-frame sequence of the S1 scene (1000 circles of Width 100 on a
# circular mask of radius 400, 1920 x 1080 PNG in and out, Time 0 to 100 %) rendered by
# stamptrails with 1 and with 2 jobs. Run it on an otherwise idle machine, after a build:
#
#   bench/sequence_bench.sh [FRAMES]
set -euo pipefail
cd "$(dirname "$0")/.."
renderer=build/stamptrails
frames=${1:-100}
[[ -x $renderer ]] || { echo "sequence_bench: build $renderer first (scripts/test.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The benchmark's colourful source: hue bands crossed with a vertical ramp, opaque.
python3 - "$work/plate.png" <<'EOF'
import math, struct, sys, zlib
w, h = 1920, 1080
rows = bytearray()
for y in range(h):
    rows.append(0)
    k = 0.35 + 0.65 * y / h
    for x in range(w):
        t = 3.0 * x / w
        for phase in (0.0, 0.33, 0.67):
            rows.append(int(255 * (0.5 + 0.5 * math.sin(6.2831853 * (t + phase))) * k))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
with open(sys.argv[1], "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b""))
EOF

circle="M 1360 540 A 400 400 0 1 1 560 540 A 400 400 0 1 1 1360 540 Z"
for jobs in 1 2; do
    mkdir -p "$work/out"
    start=$(date +%s.%N)
    "$renderer" render --quiet --input "$work/plate.png" --path "$circle" --number 1000 \
        --width 100 --edge-thickness 1 --shape circle --edge-mode lightness \
        --background original --frames "$frames" --time-from 0 --time-to 100 --jobs "$jobs" \
        --out "$work/out/s1.png"
    end=$(date +%s.%N)
    python3 -c "import sys; s = float(sys.argv[2]) - float(sys.argv[1]); \
print(f'--jobs {sys.argv[3]}: {int(sys.argv[4])} frames in {s:.1f} s, {int(sys.argv[4]) / s:.2f} frames/s')" \
        "$start" "$end" "$jobs" "$frames"
    rm -rf "$work/out"
done
