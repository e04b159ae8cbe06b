#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test; then builds the threaded
# tests (engine, player core, lists, outputs, the analysis worker) with ThreadSanitizer into
# build-tsan/ and the renderer's tests with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/, and runs those too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

if [ "${QUANDEL_SKIP_TSAN:-0}" != 1 ]; then
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUANDEL_TSAN=ON
    # Every test whose code runs on more than one thread: the engine's, the player core's (the
    # lists edited while the audio thread plays), the lists', the outputs' (real servers) and the
    # CD drive's watch, the DJ controllers' MIDI thread and the analysis worker.
    cmake --build build-tsan -j "$jobs" --target engine_tests app_tests playlist_tests output_tests shell_tests midi_tests midi_jack_tests analysis_worker_tests
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
        ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L 'engine|app|playlist|output|analysis' -LE 'fuzz|e2e'
fi

if [ "${QUANDEL_SKIP_ASAN:-0}" != 1 ]; then
    # The renderer takes file names, times and lists from the command line: its tests run once
    # under the sanitizers, so memory errors in parsing them are caught.
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUANDEL_ASAN=ON
    cmake --build build-asan -j "$jobs" --target render_tests quandel-render
    ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
        ctest --test-dir build-asan --output-on-failure -j "$jobs" -R '^(HeadlessRenderer|RenderProcess|RenderArguments|MixFileWriter|MixTracklist|TerminalText)\.'
fi
