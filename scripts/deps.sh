#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# Runs apt-get as root (directly, or through sudo when the caller is not root).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    lame twolame mpg123 libmpg123-dev
    libasound2-dev libasound2-plugins pulseaudio pulseaudio-utils sox
    libpulse-dev jackd2 libjack-jackd2-dev librtmidi-dev
    libxml2-dev id3v2
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libtag1-dev
    flac vorbis-tools opus-tools ffmpeg
    libebur128-dev libqm-dsp-dev
    xvfb xdotool imagemagick
    qt6-base-dev libx11-dev libfreetype-dev fonts-dejavu-core fonts-liberation2 shared-mime-info desktop-file-utils
)
if [ "${QUANDEL_FUZZ_DEPS:-0}" = 1 ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
