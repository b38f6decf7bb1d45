#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz and runs each for a bounded
# time, starting from its committed corpus in fuzz/corpus/<target>/. Any finding (a crash, a
# sanitizer report, a leak, an input running past the timeout) fails the run and leaves the
# input in build-fuzz/findings/<target>/. New inputs go to build-fuzz/corpus/<target>/; the
# committed corpus is only read.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
seconds="${1:-30}"

SANITIZE="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DSTAMPTRAILS_WERROR=ON -DSTAMPTRAILS_TESTS=OFF -DSTAMPTRAILS_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link $SANITIZE" \
    -DCMAKE_EXE_LINKER_FLAGS="$SANITIZE"
cmake --build build-fuzz -j"$(nproc)" --target render_fuzzer svg_path_fuzzer image_io_fuzzer

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# Longest input per target: a render input holds a 24 x 24 float frame and a layer.
declare -A max_len=([render]=16384 [svg_path]=4096 [image_io]=8192)
for target in render svg_path image_io; do
    mkdir -p "build-fuzz/corpus/$target" "build-fuzz/findings/$target"
    echo "fuzz: $target for ${seconds}s"
    # -timeout: one input taking this long is a finding (a hang). The slowest honest render
    # input, 10000 stamps with a large layer stamp in a float frame, takes about 3 s with the
    # sanitizers and coverage on this 2-core machine; everything else takes milliseconds.
    # -entropic_scale_per_exec_time: fast inputs are mutated more often, so the rare slow ones
    # (10000 stamps) do not eat the time; in 30 s it triples the render target's executions
    # and reaches more coverage.
    "build-fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=25 \
        -entropic_scale_per_exec_time=1 \
        -rss_limit_mb=2048 -max_len="${max_len[$target]}" -print_final_stats=1 \
        -artifact_prefix="build-fuzz/findings/$target/" \
        "build-fuzz/corpus/$target" "fuzz/corpus/$target"
done
