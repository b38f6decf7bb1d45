#!/usr/bin/env bash
# Installs what is missing, builds, and renders the built-in demo frame.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
if [ -x build/stamptrails ]; then
    build/stamptrails render --out stamptrails-demo.png "$@"
else
    echo "demo: the command-line renderer is not built yet; the render core and its tests are."
fi
