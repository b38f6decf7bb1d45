#!/usr/bin/env bash
# Renders the README's gallery into docs/gallery with build/stamptrails (build it first).
# Each line below is the command shown under its picture.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
stamptrails() { "$root/build/stamptrails" "$@"; }
mkdir -p docs/gallery
cd docs/gallery

# The demo picture itself, small: the image the layer stamps are made of.
stamptrails render --number 0 --background original --downsample 8 --out demo-picture.png

stamptrails render --downsample 2 --number 36 --width 44 --inner 30 --edge-thickness 3 --edge-lightness 0.3 --out circle.png
stamptrails render --downsample 2 --shape polygon --sides 6 --number 24 --width 64 --inner 35 --edge-thickness 6 --edge-mode color --edge-color 1e1e28 --time 60 --length 80 --out polygon.png
stamptrails render --downsample 2 --shape layer --layer demo-picture.png --blend-mode tritone --number 16 --width 110 --angle 90 --out layer-tritone.png
stamptrails render --downsample 4 --number 24 --width 44 --inner 40 --length 40 --edge-thickness 6 --edge-mode color --edge-color ffffff --background original --frames 5 --time-from 10 --time-to 90 --strip --out time-strip.png
