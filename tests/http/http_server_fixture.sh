#!/bin/bash
# Starts or stops the transfer tests' HTTP server for a ctest fixture.
#
#   http_server_fixture.sh start|stop STATE_DIR [SERVER_SCRIPT]
#
# The port goes to STATE_DIR/port, the process id to STATE_DIR/pid.
set -euo pipefail

action="$1"
state="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
server_script="${3:-$here/http_test_server.py}"
source "$here/../../scripts/lib.sh"

stop_server() {
    [[ -f "$state/pid" ]] || return 0
    local pid
    pid="$(cat "$state/pid")"
    if kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$state/pid" "$state/port"
}

case "$action" in
start)
    mkdir -p "$state"
    stop_server
    setsid /usr/bin/python3 "$server_script" "$state/port" </dev/null >"$state/server.log" 2>&1 &
    echo $! >"$state/pid"
    wait_written "$state/port" "$!" >/dev/null && exit 0
    echo "the test server did not start:" >&2
    cat "$state/server.log" >&2
    stop_server
    exit 1
    ;;
stop)
    stop_server
    ;;
esac
