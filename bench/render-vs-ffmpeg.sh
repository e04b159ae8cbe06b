#!/usr/bin/env bash
# An hour of Automix from fifteen MP3 tracks with 8 s fades, rendered by quandel-render and by
# ffmpeg's acrossfade chain over the same files, the two run in turn so that a drift in the
# machine's speed meets both alike. Prints each run's wall and CPU seconds, the medians and the
# ratio of the medians (ffmpeg's time over ours: above 1, we are faster).
#
#   bash bench/render-vs-ffmpeg.sh [RUNS]     (default 5; needs build/quandel-render, lame, sox,
#                                              ffmpeg: bash scripts/deps.sh installs them)
#
# The tracks are made once into build/bench-media/ from the bundled demo's material: each is the
# demo tracks one after another from a different start, about 4:15 long, encoded by lame at
# 192 kbit/s. Both renders write a 16-bit WAV file into the same folder.
set -euo pipefail

runs=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
render=$build/quandel-render
media=$build/bench-media
fade=8

for tool in lame sox ffmpeg; do
    command -v "$tool" >/dev/null || { echo "render-vs-ffmpeg: $tool is not installed (bash scripts/deps.sh)" >&2; exit 1; }
done
[[ -x $render ]] || { echo "render-vs-ffmpeg: build $render first" >&2; exit 1; }

make_tracks() {
    mkdir -p "$media/demo"
    if [[ ! -f $media/demo/demo.qzl ]]; then
        "$render" -q --demo-dir "$media/demo" -o "$media/demo/demo-mix.wav" >/dev/null 2>"$media/demo.log" ||
            { cat "$media/demo.log" >&2; exit 1; }
    fi
    local wavs=() i k
    for i in 1 2 3 4 5; do
        local one
        one=$(find "$media/demo" -maxdepth 1 -name "0$i-*.wav" | head -n 1)
        if [[ -z $one ]]; then
            # The demo was made as MP3: its WAV source is made from it.
            local mp3
            mp3=$(find "$media/demo" -maxdepth 1 -name "0$i-*.mp3" | head -n 1)
            one=${mp3%.mp3}.wav
            ffmpeg -nostdin -loglevel error -y -i "$mp3" "$one"
        fi
        wavs+=("$one")
    done
    for i in $(seq 0 14); do
        local name
        name=$(printf '%s/track-%02d.mp3' "$media" "$i")
        [[ -f $name ]] && continue
        local parts=()
        for k in 0 1 2 3 4 5; do
            parts+=("${wavs[$(((i + k) % 5))]}")
        done
        sox "${parts[@]}" "$media/track.wav"
        lame --quiet -b 192 "$media/track.wav" "$name.part"
        mv "$name.part" "$name"
        rm -f "$media/track.wav"
    done
}

make_tracks
tracks=()
for i in $(seq 0 14); do
    tracks+=("$(printf '%s/track-%02d.mp3' "$media" "$i")")
done
printf '%s\n' "${tracks[@]}" > "$media/hour.m3u"

# ffmpeg: every track an input, each cross-faded into the mix so far.
ffmpeg_args=(-nostdin -loglevel error -y)
filter=""
for i in "${!tracks[@]}"; do
    ffmpeg_args+=(-i "${tracks[$i]}")
    if ((i == 1)); then
        filter="[0:a][1:a]acrossfade=d=$fade[m1]"
    elif ((i > 1)); then
        filter="$filter;[m$((i - 1))][$i:a]acrossfade=d=$fade[m$i]"
    fi
done
last=$((${#tracks[@]} - 1))
ffmpeg_args+=(-filter_complex "$filter" -map "[m$last]" -c:a pcm_s16le "$media/ffmpeg-mix.wav")

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

ours=()
theirs=()
ours_cpu=()
theirs_cpu=()
run_one() {
    # Prints "wall cpu" for the command, measured by bash's own clock and its children's times.
    local TIMEFORMAT='%R %U %S'
    local line
    line=$({ time "$@" >/dev/null 2>&1; } 2>&1)
    awk '{printf "%.3f %.3f\n", $1, $2 + $3}' <<<"$line"
}

# One run of each to warm the file cache, not counted.
run_one "$render" -q "$media/hour.m3u" -o "$media/quandel-mix.wav" >/dev/null
run_one ffmpeg "${ffmpeg_args[@]}" >/dev/null
for ((r = 1; r <= runs; r++)); do
    read -r wall cpu < <(run_one "$render" -q "$media/hour.m3u" -o "$media/quandel-mix.wav")
    ours+=("$wall")
    ours_cpu+=("$cpu")
    read -r wall cpu < <(run_one ffmpeg "${ffmpeg_args[@]}")
    theirs+=("$wall")
    theirs_cpu+=("$cpu")
    printf 'run %d: quandel-render %6.2f s wall %6.2f s cpu   ffmpeg acrossfade %6.2f s wall %6.2f s cpu\n' \
        "$r" "${ours[-1]}" "${ours_cpu[-1]}" "${theirs[-1]}" "${theirs_cpu[-1]}"
done

seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$media/quandel-mix.wav")
ours_median=$(printf '%s\n' "${ours[@]}" | median)
theirs_median=$(printf '%s\n' "${theirs[@]}" | median)
ours_cpu_median=$(printf '%s\n' "${ours_cpu[@]}" | median)
theirs_cpu_median=$(printf '%s\n' "${theirs_cpu[@]}" | median)
awk -v s="$seconds" -v a="$ours_median" -v b="$theirs_median" -v ac="$ours_cpu_median" -v bc="$theirs_cpu_median" \
    'BEGIN {
        printf "render/automix-one-hour-mp3: %.0f s of audio\n", s
        printf "  quandel-render     median %6.2f s wall (%4.0fx real time), %6.2f s cpu\n", a, s / a, ac
        printf "  ffmpeg acrossfade  median %6.2f s wall (%4.0fx real time), %6.2f s cpu\n", b, s / b, bc
        printf "  ratio (ffmpeg / quandel-render): %.2fx wall, %.2fx cpu\n", b / a, bc / ac
    }'
