#!/usr/bin/env bash
# Builds everything native with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan and runs the whole test suite under them. Any report ends its process with
# status 99 and fails the run; leaks are reports too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

SANITIZE="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# -ffp-contract=off comes from each target's own options, as in the normal build.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTAMPTRAILS_WERROR=ON \
    -DCMAKE_CXX_FLAGS="$SANITIZE" \
    -DCMAKE_EXE_LINKER_FLAGS="$SANITIZE" -DCMAKE_SHARED_LINKER_FLAGS="$SANITIZE"
cmake --build build-asan -j"$(nproc)"

# Child processes (the renderer tests run build-asan/stamptrails) inherit these, so a report
# there fails its test too: 99 is no status the program gives itself.
export ASAN_OPTIONS="halt_on_error=1:exitcode=99:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:exitcode=99:print_stacktrace=1"
ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
