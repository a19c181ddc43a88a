#!/usr/bin/env bash
# One PostgreSQL server for a whole CTest run (the fixture around the tests).
#
#   pg_server.sh start DIR   starts tests/pg/pg_sandbox.sh in the background and
#                            writes its port to DIR/port and its socket
#                            directory to DIR/socket once it is ready
#   pg_server.sh stop DIR    stops it (the sandbox removes every file it made)
#
# The sandbox runs until its standard input closes; here that input is a fifo
# held open by a sleeping process, so stopping is killing the sleeper. If a run
# dies without stopping it, the sleeper ends after four hours and the server
# goes with it.
set -u
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: pg_server.sh start|stop DIR" >&2; exit 2; }

stop() {
    [ -f "$dir/holder.pid" ] && kill "$(cat "$dir/holder.pid")" 2>/dev/null
    if [ -f "$dir/sandbox.pid" ]; then
        pid=$(cat "$dir/sandbox.pid")
        for _ in $(seq 1 600); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
    rm -f "$dir/port" "$dir/socket" "$dir/hold" "$dir/holder.pid" "$dir/sandbox.pid"
}

case "$cmd" in
start)
    mkdir -p "$dir" || exit 1
    stop
    mkfifo "$dir/hold" || exit 1
    setsid sleep 14400 >"$dir/hold" 2>/dev/null </dev/null &
    echo $! >"$dir/holder.pid"
    setsid bash "$here/pg_sandbox.sh" <"$dir/hold" >"$dir/out" 2>"$dir/err" &
    echo $! >"$dir/sandbox.pid"
    for _ in $(seq 1 1800); do
        line=$(head -n 1 "$dir/out" 2>/dev/null)
        case "$line" in
        READY\ *) set -- ${line#READY }
            echo "${2:-}" >"$dir/socket"
            echo "$1" >"$dir/port.tmp" && mv "$dir/port.tmp" "$dir/port"
            echo "PostgreSQL test server on port $(cat "$dir/port")"
            exit 0 ;;
        FAILED*) echo "$line" >&2; cat "$dir/err" >&2; stop; exit 1 ;;
        esac
        sleep 0.1
    done
    echo "the PostgreSQL test server did not start in time" >&2
    stop
    exit 1 ;;
stop)
    stop
    exit 0 ;;
*)
    echo "usage: pg_server.sh start|stop DIR" >&2
    exit 2 ;;
esac
