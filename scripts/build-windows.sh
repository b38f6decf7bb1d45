#!/usr/bin/env bash
# Cross-builds the 32-bit Windows plug-in: leaves build-win/MiravoStampTrails.aex and the
# harness build-win/mst_win_harness.exe. Extra arguments go to the configure step
# (e.g. -DSTAMPTRAILS_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.toolchain.cmake \
    -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build build-win -j"$(nproc)"
echo "build-windows: $(pwd)/build-win/MiravoStampTrails.aex"
