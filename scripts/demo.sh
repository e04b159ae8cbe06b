#!/usr/bin/env bash
# Installs what is missing, builds the headless renderer into build/ and renders the bundled
# demo (or whatever arguments are given, as quandel-render takes them).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)" --target quandel-render
if [ $# -eq 0 ]; then
    exec build/quandel-render --demo-dir build/demo
fi
exec build/quandel-render "$@"
