#!/usr/bin/env bash
# Makes docs/player-window.png, the README's picture of the window: the player on an X server of
# its own (Xvfb) playing the demo list to a PulseAudio null sink, its window taken with
# ImageMagick and numbered as the README describes it. Needs build/ built (scripts/demo.sh or
# scripts/test.sh) and the test packages (scripts/deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d)
display=:$((300 + RANDOM % 300))
cleanup() {
    [ -n "${player:-}" ] && kill "$player" 2>/dev/null && wait "$player" 2>/dev/null
    [ -n "${xserver:-}" ] && kill "$xserver" 2>/dev/null && wait "$xserver" 2>/dev/null
    bash tests/output/pulse-server.sh stop "$work/pulse" >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

build/quandel-render -q --demo-dir "$work/demo" >/dev/null 2>&1
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xserver=$!
bash tests/output/pulse-server.sh start "$work/pulse" >/dev/null
mkdir -p "$work/home/.config/Kelmaric" "$work/run"
chmod 700 "$work/run"
# A player that ran before (no setup sheet), fading over 8 s.
printf '[General]\nRun=3\nOutputDevice=256\nOutputBlockSize=4096\nAutoFadeTime=10080\n' \
    >"$work/home/.config/Kelmaric/Quandel Player.conf"
export DISPLAY=$display
HOME=$work/home XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_RUNTIME_DIR=$work/run \
    PULSE_SERVER=unix:$work/pulse/native build/quandel-player "$work/demo/demo.qzl" >/dev/null 2>&1 &
player=$!
xdotool search --sync --onlyvisible --name '^Quandel Player$' >/dev/null
# Eleven seconds in: the first track plays, the second waits on deck B.
sleep 11
xdotool mousemove 1200 1000
sleep 1
import -window root "$work/screen.png"
read -r width height < <(xdotool search --onlyvisible --name '^Quandel Player$' getwindowgeometry --shell %@ |
    awk -F= '/WIDTH/ {w=$2} /HEIGHT/ {h=$2} END {print w, h}')

# The numbers of the README's list: number, x, y of its badge.
badges=("1 255 9" "2 150 38" "2 462 40" "3 178 57" "4 318 120" "5 281 187" "6 292 441")
draw=()
for badge in "${badges[@]}"; do
    read -r n x y <<<"$badge"
    draw+=(-fill '#ffcc00' -stroke black -strokewidth 1.5 -draw "circle $x,$y $((x + 9)),$y"
        -stroke none -fill black -annotate "+$((x - 4))+$((y + 5))" "$n")
done
mkdir -p docs
/usr/bin/convert "$work/screen.png" -crop "${width}x${height}+0+0" +repage \
    -font /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf -pointsize 13 "${draw[@]}" -strip \
    "$root/docs/player-window.png"
echo "docs/player-window.png: ${width}x${height}"
