#!/bin/bash
# Downloads 1 GiB from a local swarm on 127.0.0.1 through DLBT.dll under Wine,
# from the peer alone, the HTTP seed alone and both, and the same with native
# clients on the same swarm: Debian's python3-libtorrent with its defaults,
# and aria2c when it is installed (apt-get install aria2). Prints MB/s and the
# CPU seconds (user + sys) of each client's own process. `dlbt` is the kernel
# with its own disk back-end, `dlbt-lt` the same kernel on libtorrent's
# memory-mapped one (KORVANE_DISK_IO=libtorrent), for the comparison.
#
#   bench/kernel-bench.sh [BUILD_DIR] [--no-build] [--runs N]
#                         [--clients "dlbt dlbt-lt libtorrent aria2c"] [--from "peer web both"]
#
# The content is made once under BUILD_DIR/bench-swarm and kept. Every
# process started here is stopped on exit, also on Ctrl-C.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$ROOT/build"
BUILD=1
RUNS=1
CLIENTS="dlbt dlbt-lt libtorrent aria2c"
SOURCES="peer web both"
while [[ $# -gt 0 ]]; do
    case "$1" in
        --no-build) BUILD=0 ;;
        --runs) RUNS="$2"; shift ;;
        --clients) CLIENTS="$2"; shift ;;
        --from) SOURCES="$2"; shift ;;
        *) BUILD_DIR="$1" ;;
    esac
    shift
done

if [[ $BUILD == 1 ]]; then
    bash "$ROOT/scripts/setup.sh"
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja --log-level=WARNING >/dev/null
    cmake --build "$BUILD_DIR" --target dlbt_kernel kernel_bench
fi
BUILD_DIR="$(cd "$BUILD_DIR" && pwd)"
SWARM="$BUILD_DIR/bench-swarm"
WORK="$BUILD_DIR/bench-work"
SWARM_PY="$ROOT/tests/swarm/swarm.py"
CLIENT_PID=""

source "$ROOT/scripts/lib.sh"

cleanup() {
    if [[ -n "$CLIENT_PID" ]]; then
        kill -- "-$CLIENT_PID" 2>/dev/null || kill "$CLIENT_PID" 2>/dev/null || true
        wait "$CLIENT_PID" 2>/dev/null || true
    fi
    wine_session_stop
    /usr/bin/python3 "$SWARM_PY" stop "$SWARM" || true
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A fresh swarm for every run, so that no run inherits the seeder's state
# from the one before.
start_swarm() {
    /usr/bin/python3 "$SWARM_PY" start "$SWARM" --big >/dev/null
    TORRENT="$(json_field "$SWARM/swarm.json" torrents big torrent)"
    SIZE="$(json_field "$SWARM/swarm.json" torrents big size)"
    TRACKER="$(json_field "$SWARM/swarm.json" tracker)"
    WEBSEED="$(json_field "$SWARM/swarm.json" webseed)"
    FILE_URL="${WEBSEED}korvane_big.bin"
}

echo "Preparing the swarm (the first run makes 1 GiB of content)..."
wine_session_start "$BUILD_DIR/wineprefix"
start_swarm

# The CPU seconds that our own wineserver has used so far: under Wine much of
# a program's socket work is done there, so it counts for the kernel too.
WINESERVER_PID=""
wineserver_cpu() {
    [[ -n "$WINESERVER_PID" ]] || { echo 0; return; }
    awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$WINESERVER_PID/stat" 2>/dev/null || echo 0
}

# Runs one client in a process group of its own, in the background so that
# Ctrl-C reaches the clean-up at once; leaves "SECONDS CPU_SECONDS
# WINESERVER_CPU_SECONDS", or what went wrong, in $RESULT.
RESULT=""
measure() {
    local times="$WORK/times" output="$WORK/output"
    local server_before
    server_before="$(wineserver_cpu)"
    setsid /usr/bin/time -f "%U %S" -o "$times" "$@" >"$output" 2>"$WORK/errors" </dev/null &
    CLIENT_PID=$!
    local status=0
    wait "$CLIENT_PID" || status=$?
    CLIENT_PID=""
    local result
    result="$(grep -E '^(done|failed) ' "$output" | tail -1 || true)"
    if [[ $status != 0 || "$result" != done* ]]; then
        RESULT="FAILED (exit $status): $result $(tail -3 "$WORK/errors" | tr '\n' ' ')"
        return 1
    fi
    local buffered
    buffered="$(awk '$1 == "buffered" { print $2 }' "$output")"
    RESULT="$(awk -v t="$(awk '{print $2}' <<<"$result")" -v s0="$server_before" -v s1="$(wineserver_cpu)" \
        -v b="${buffered:--}" '{ printf "%s %.2f %.2f %s", t, $1 + $2, s1 - s0, b }' "$times")"
}

run_case() {
    local client="$1" source="$2"
    local tracker_args=() webseed_args=()
    local target="$WORK/download"
    start_swarm
    rm -rf "$target"
    mkdir -p "$target"
    case "$client" in
        dlbt|dlbt-lt)
            [[ $source != web ]] && tracker_args=(--tracker "$TRACKER")
            [[ $source != peer ]] && webseed_args=(--webseed "$WEBSEED")
            local disk_io=kernel
            [[ $client == dlbt-lt ]] && disk_io=libtorrent
            measure env KORVANE_DISK_IO="$disk_io" "$WINE64" "$BUILD_DIR/bench/kernel_bench.exe" "Z:$TORRENT" \
                "Z:$target" "${tracker_args[@]}" "${webseed_args[@]}" --timeout 900 ;;
        libtorrent)
            [[ $source != web ]] && tracker_args=(--tracker "$TRACKER")
            [[ $source != peer ]] && webseed_args=(--webseed "$WEBSEED")
            measure /usr/bin/python3 "$ROOT/bench/native_leecher.py" "$TORRENT" "$target" \
                "${tracker_args[@]}" "${webseed_args[@]}" --timeout 900 ;;
        aria2c)
            [[ $source != web ]] && tracker_args=(--bt-tracker="$TRACKER")
            [[ $source != peer ]] && webseed_args=("$FILE_URL")
            measure "$ROOT/bench/aria2-leecher.sh" "$target" "$TORRENT" "${tracker_args[@]}" "${webseed_args[@]}" ;;
    esac
    local status=$?
    rm -rf "$target"
    return $status
}

clients=()
for client in $CLIENTS; do
    if [[ $client == aria2c ]] && ! command -v aria2c >/dev/null; then
        echo "aria2c is not installed (apt-get install aria2): skipped"
        continue
    fi
    clients+=("$client")
done

WINESERVER_PID="$(wine_process wineserver64)"
mkdir -p "$WORK"
printf "%-11s %-5s %4s %9s %8s %8s %12s %14s\n" client from run seconds "MB/s" "CPU s" "wineserver s" \
    "in memory MiB"
for client in "${clients[@]}"; do
    for source in $SOURCES; do
        for ((run = 1; run <= RUNS; run++)); do
            if run_case "$client" "$source"; then
                read -r seconds cpu server buffered <<<"$RESULT"
                [[ $client == dlbt* ]] || server="-"
                [[ $client == dlbt ]] || buffered="-"
                printf "%-11s %-5s %4d %9.1f %8.1f %8.1f %12s %14s\n" "$client" "$source" "$run" "$seconds" \
                    "$(awk -v s="$SIZE" -v t="$seconds" 'BEGIN { print s / t / 1e6 }')" "$cpu" "$server" "$buffered"
            else
                printf "%-11s %-5s %4d %s\n" "$client" "$source" "$run" "$RESULT"
            fi
        done
    done
done
