#!/usr/bin/env bash
# Builds every libFuzzer target (clang, ASan, UBSan) into build-fuzz/ as fuzz_<what>.
# Run one with its seed corpus, for example:
#   build-fuzz/tests/fuzz/fuzz_wav -max_total_time=60 tests/corpus/wav
set -euo pipefail
cd "$(dirname "$0")/.."
QUANDEL_FUZZ_DEPS=1 bash scripts/deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUANDEL_FUZZ=ON
cmake --build build-fuzz -j "$(nproc)"
ls build-fuzz/tests/fuzz/fuzz_* 2>/dev/null || true
