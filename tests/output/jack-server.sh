#!/usr/bin/env bash
# Starts or stops a JACK server on the dummy driver, which paces in real time and reports
# xruns without a sound card, for the tests of the pro-audio output.
#   jack-server.sh start DIR NAME RATE PERIOD PLAYBACK   serves NAME at RATE Hz, PERIOD frames,
#                                                         PLAYBACK physical playback ports
#   jack-server.sh stop DIR
set -uo pipefail
# Never let a client library start a server of its own.
export JACK_NO_START_SERVER=1
action=$1
dir=$2

# Every wait below has a deadline: a server that hangs fails the fixture instead of the run.
stop() {
    if [ -f "$dir/jackd.pid" ]; then
        pid=$(cat "$dir/jackd.pid")
        kill "$pid" 2>/dev/null
        # A server that ignores the request for 5 s is killed outright, so the next start does
        # not meet its socket still in use.
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        if kill -0 "$pid" 2>/dev/null; then
            echo "jackd $pid did not stop; killing it"
            kill -KILL "$pid" 2>/dev/null
            for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        fi
        rm -f "$dir/jackd.pid"
    fi
}

case "$action" in
start)
    name=$3 rate=$4 period=$5 playback=$6
    stop
    mkdir -p "$dir"
    command -v jackd >/dev/null || { echo "jackd is not installed (scripts/deps.sh)"; exit 1; }
    # -R: real-time scheduling where the system grants it (without the right jackd carries on
    # with normal scheduling); on a busy machine it keeps the dummy driver's deadlines, so the
    # xruns the tests see are the ones the player causes. -r after the driver: the rate.
    setsid jackd -n "$name" -R -d dummy -r "$rate" -p "$period" -P "$playback" \
        </dev/null >"$dir/jackd.log" 2>&1 &
    pid=$!
    echo $pid >"$dir/jackd.pid"
    # Up to 20 s for a loaded machine; a query that hangs is given up after 5 s.
    deadline=$((SECONDS + 20))
    while [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null; do
        JACK_DEFAULT_SERVER=$name timeout 5 jack_lsp >/dev/null 2>&1 && exit 0
        sleep 0.1
    done
    echo "JACK did not come up:"; cat "$dir/jackd.log"
    stop
    exit 1
    ;;
stop)
    stop
    ;;
esac
