#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (fuzzer, address and undefined-behaviour sanitizers) in
# build/fuzz and runs each for FUZZ_SECONDS (30 by default), starting from the committed seeds
# (fuzz/corpus/<target>, when there is one).
# New inputs go to build/fuzz/corpus; the committed corpus is only read.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-30}"
# A fixed seed by default, so a test run is repeatable; FUZZ_SEED=0 lets libFuzzer pick one.
seed="${FUZZ_SEED:-1}"
build=build/fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DOSTREVIN_FUZZ=ON -DOSTREVIN_TESTS=OFF -DOSTREVIN_TOOLS=OFF -DOSTREVIN_BENCH=OFF \
    -DOSTREVIN_SANITIZE="address;undefined"
targets="texture_load panel_load lwob_read lwo2_read settings_file scene_read"
cmake --build "$build" -j2 --target $(for t in $targets; do printf "fuzz_%s " "$t"; done)

for target in $targets; do
    work="$build/corpus/$target"
    mkdir -p "$work"
    echo "== fuzz_$target for ${seconds}s"
    "$build/bin/fuzz_$target" -max_total_time="$seconds" -seed="$seed" -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$build/crash-$target-" "$work" "fuzz/corpus/$target"
done
