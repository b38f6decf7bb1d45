#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSTAMPTRAILS_WERROR=ON
cmake --build build -j"$(nproc)"
# The Windows plug-in and its harness: the tests read the DLL and run the harness under wine.
scripts/build-windows.sh -DSTAMPTRAILS_WERROR=ON
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The fault sweep's totals and the long run's memory figure, for the log (passing tests'
# output is not shown above).
build/tests/mst_host_tests --gtest_filter='FaultSweep.*:LongRun.*' --gtest_brief=1 |
    grep '^\[ \(sweep\|long run\)'
