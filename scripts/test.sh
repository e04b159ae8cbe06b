#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test; then builds the engine tests
# with ThreadSanitizer into build-tsan/ and runs them too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

if [ "${QUANDEL_SKIP_TSAN:-0}" != 1 ]; then
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUANDEL_TSAN=ON
    cmake --build build-tsan -j "$jobs" --target engine_tests
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L engine
fi
