#!/usr/bin/env bash
# Starts or stops a PulseAudio daemon with two null sinks that pace in real time, for the tests
# that play through a sound server on machines without a sound card: ci_null (stereo, the
# default) and ci_null4 (four channels: front left, front right, rear left, rear right).
#   pulse-server.sh start DIR   serves unix:DIR/native (DIR is made, mode 700)
#   pulse-server.sh stop DIR
set -uo pipefail
action=$1
dir=$2

# Every wait below has a deadline: a server that hangs fails the fixture instead of the run.
stop() {
    if [ -f "$dir/daemon.pid" ]; then
        pid=$(cat "$dir/daemon.pid")
        kill "$pid" 2>/dev/null
        # A server that ignores the request for 5 s is killed outright, so the next start does
        # not meet its socket still in use.
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        if kill -0 "$pid" 2>/dev/null; then
            echo "pulseaudio $pid did not stop; killing it"
            kill -KILL "$pid" 2>/dev/null
            for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        fi
        rm -f "$dir/daemon.pid"
    fi
}

case "$action" in
start)
    stop
    mkdir -p "$dir" && chmod 700 "$dir"
    command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed (scripts/deps.sh)"; exit 1; }
    # Its own HOME and runtime folder keep it away from a user's desktop server.
    HOME=$dir XDG_RUNTIME_DIR=$dir setsid pulseaudio --daemonize=no --exit-idle-time=-1 -n \
        --use-pid-file=no --disable-shm=yes --log-target=stderr \
        --load="module-null-sink sink_name=ci_null sink_properties=device.description=CiNull" \
        --load="module-null-sink sink_name=ci_null4 channels=4 channel_map=front-left,front-right,rear-left,rear-right sink_properties=device.description=CiNull4" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
        </dev/null >"$dir/pulse.log" 2>&1 &
    pid=$!
    echo $pid >"$dir/daemon.pid"
    # Up to 20 s for a loaded machine; a query that hangs is given up after 5 s.
    deadline=$((SECONDS + 20))
    while [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null; do
        if PULSE_SERVER=unix:$dir/native timeout 5 pactl info >/dev/null 2>&1; then
            # The stereo sink stays the default whichever the server would prefer.
            PULSE_SERVER=unix:$dir/native timeout 5 pactl set-default-sink ci_null && exit 0
        fi
        sleep 0.1
    done
    echo "PulseAudio did not come up:"; cat "$dir/pulse.log"
    stop
    exit 1
    ;;
stop)
    stop
    ;;
esac
