#!/usr/bin/env bash
# Installs what is missing, builds the player and the renderer into build/ and makes the bundled
# demo (five synthesised dance tracks and their list, in build/demo/).
#   On a desktop (DISPLAY or WAYLAND_DISPLAY set): opens quandel-player with the demo list,
#   playing through the desktop's default sound output.
#   Without one, or with --render: renders the demo mix to build/demo/demo-mix.wav.
#   With other arguments: passes them to quandel-render, as it takes them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)" --target quandel-render quandel-player

render=0
if [ "${1:-}" = "--render" ]; then
    render=1
    shift
fi
if [ $# -gt 0 ]; then
    exec build/quandel-render "$@"
fi
if [ $render -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): rendering the demo mix to a file instead."
    render=1
fi
if [ $render -eq 1 ]; then
    exec build/quandel-render --demo-dir build/demo
fi

# The demo's tracks and list are made by the renderer (its mix is rendered too, quickly), then
# the player opens the list and plays it.
build/quandel-render -q --demo-dir build/demo
echo "Opening the player with build/demo/demo.qzl (close its window, or press Ctrl+C here, to end it)."
exec build/quandel-player "$PWD/build/demo/demo.qzl"
