#!/bin/bash
# The whole program against what a player could use instead: a game of
# SIZE_MB (default 1 GiB) from a local swarm on 127.0.0.1 (opentracker, a
# python3-libtorrent seeder, nginx as HTTP seed), downloaded by
#   program     this program under Wine, from the press on start to its
#               completion line, every piece verified by the kernel
#   aria2c      natively (installed with apt-get when missing)
#   libtorrent  Debian's python3-libtorrent natively, default settings
#   floor       no network: read, SHA-1 and write the same bytes (floor.py)
# Then the program restarted over the complete game, with its state file
# and without it (every piece checked), against reading and hashing the
# game; its memory while downloading and its CPU while idle and ready.
# Prints a table, draws the chart and fills in the measured part of a copy
# of bench/RESULTS.md under BUILD_DIR/program-bench; with --write-results,
# of bench/RESULTS.md and bench/program-bench.png themselves.
#
#   bench/program-bench.sh [BUILD_DIR] [--no-build] [--runs 3] [--size-mb 1024]
#                          [--idle-seconds 30] [--clients "program aria2c libtorrent floor"]
#                          [--program EXE] [--server-profile] [--write-results]
#
# --program runs another build of the program (say, one before a change)
# in place of BUILD_DIR's.
# --server-profile counts instead, by type, the requests the program makes
# of its wineserver while it downloads the game once and while it stands
# ready; Wine then traces every request, so that download is slow. Writes
# BUILD_DIR/program-bench/server-{download,ready}.txt.
#
# The game is made once under BUILD_DIR/program-bench and kept. Every run
# gets a fresh swarm, a fresh folder and, for the program, a fresh Wine
# server. Everything started here stops at the end, also on Ctrl-C.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$ROOT/build"
BUILD=1
RUNS=3
SIZE_MB=1024
IDLE_SECONDS=30
CLIENTS="program program-lt aria2c libtorrent floor"
DISK_IO=kernel
PROGRAM_OVERRIDE=""
PROFILE=0
WRITE_RESULTS=0
while [[ $# -gt 0 ]]; do
    case "$1" in
        --no-build) BUILD=0 ;;
        --runs) RUNS="$2"; shift ;;
        --size-mb) SIZE_MB="$2"; shift ;;
        --idle-seconds) IDLE_SECONDS="$2"; shift ;;
        --clients) CLIENTS="$2"; shift ;;
        --program) PROGRAM_OVERRIDE="$(realpath "$2")"; shift ;;
        --server-profile) PROFILE=1 ;;
        --write-results) WRITE_RESULTS=1 ;;
        -h|--help) sed -n '2,30p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) BUILD_DIR="$1" ;;
    esac
    shift
done
has_client() { [[ " $CLIENTS " == *" $1 "* ]]; }
say() { echo "bench: $*" >&2; }

# What the benchmark needs beyond the project's own set-up; installed here
# rather than by scripts/setup.sh, since nothing else uses them.
ensure_packages() {
    local missing=()
    has_client aria2c && ! command -v aria2c >/dev/null && missing+=(aria2)
    /usr/bin/python3 -c 'import matplotlib' 2>/dev/null || missing+=(python3-matplotlib)
    [[ ${#missing[@]} -eq 0 ]] && return
    say "installing ${missing[*]}"
    if [[ $(id -u) == 0 ]]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >/dev/null
    else
        sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >/dev/null ||
            say "could not install ${missing[*]}: aria2c is left out, the chart is not drawn"
    fi
}
ensure_packages
if [[ $BUILD == 1 ]]; then
    bash "$ROOT/scripts/setup.sh"
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja --log-level=WARNING >/dev/null
    cmake --build "$BUILD_DIR" --target korvane_local_reports demo_game program_bench
fi
BUILD_DIR="$(cd "$BUILD_DIR" && pwd)"
source "$ROOT/scripts/lib.sh"

BENCH="$BUILD_DIR/program-bench"
SWARM="$BENCH/swarm"
PLAYER="$BENCH/player"
WORK="$BENCH/work"
RESULTS="$BENCH/results.jsonl"
MACHINE="$BENCH/machine.json"
PROGRAM="${PROGRAM_OVERRIDE:-$BUILD_DIR/app/KorvaneDownloader-local-reports.exe}"
DRIVER="$BUILD_DIR/bench/program_bench.exe"
HZ="$(getconf CLK_TCK)"
OWN_DISPLAY="${DISPLAY:-}"
client_pid=""

stop_all() {
    if [[ -n "$client_pid" ]]; then
        kill -- "-$client_pid" 2>/dev/null || kill "$client_pid" 2>/dev/null || true
        wait "$client_pid" 2>/dev/null || true
        client_pid=""
    fi
    wine_session_stop
    game_swarm stop "$SWARM" 2>/dev/null || true
    config_server_stop
    rm -rf "$WORK"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# record KEY=TEXT... KEY:=NUMBER...: one line of the results.
record() { /usr/bin/python3 "$ROOT/bench/record.py" "$RESULTS" "$@"; }
failed() { record what="$1" client="$2" run:="$3" ok:=false error="$4"; say "$2 run $3 failed: $4"; }

# A fresh swarm for every run, so that no run inherits the seeder's state,
# and the system's file cache written out first: otherwise a run pays for
# writing out the gigabyte the last one left (this machine's disk takes
# about 230 MB/s).
start_swarm() {
    sync
    game_swarm start "$SWARM" "$BUILD_DIR/tests/demo_game.exe" "$SIZE_MB" >/dev/null
    TRACKER="$(json_field "$SWARM/swarm.json" tracker)"
    WEBSEED="$(json_field "$SWARM/swarm.json" webseed)"
    TORRENT="$(json_field "$SWARM/swarm.json" torrents game torrent)"
    SIZE="$(json_field "$SWARM/swarm.json" torrents game size)"
    SEED="$SWARM/seed"
}

# Every file of the game identical to the seed's copy; $1 is the folder
# that stands for the game's root folder.
same_as_seed() {
    local file
    while IFS= read -r -d '' file; do
        cmp -s "$file" "$1/${file#"$SEED/KorvaneGame/"}" || return 1
    done < <(find "$SEED/KorvaneGame" -type f -print0)
}

# --- /proc readings of a Linux process ---------------------------------------
cpu_of() { awk -v hz="$HZ" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat" 2>/dev/null || echo 0; }
kib_of() { awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
mib() { awk -v k="${1:-0}" 'BEGIN { printf "%.1f", k / 1024 }'; }

# --- requests to the wineserver, by type --------------------------------------
# The session's server again, now tracing every request to a file; counted
# between two marks.
TRACE=""
TRACE_FROM=0
trace_server() {
    wineserver -k
    wineserver -w
    TRACE="$WORK/server.trace"
    wineserver -f -p -d1 2>"$TRACE" >/dev/null </dev/null &
    local pid
    for _ in $(seq 100); do
        # Its socket lies in the folder it runs in.
        pid="$(wine_process wineserver64)"
        [[ -n "$pid" && -S "/proc/$pid/cwd/socket" ]] && return
        sleep 0.1
    done
    say "the tracing wineserver did not start"
    exit 1
}
trace_mark() { [[ -z "$TRACE" ]] || TRACE_FROM="$(stat -c %s "$TRACE")"; }
# Requests are traced as "TID: name( fields )", their replies as
# "TID: name() = STATUS ...".
trace_count() {
    [[ -n "$TRACE" ]] || return 0
    local to
    to="$(stat -c %s "$TRACE")"
    tail -c "+$((TRACE_FROM + 1))" "$TRACE" | head -c "$((to - TRACE_FROM))" |
        awk 'match($0, /^[0-9a-f]+: [a-z_0-9]+\( /) { split(substr($0, RSTART, RLENGTH), f, /[ (]/); n[f[2]]++; all++ }
             END { for (k in n) printf "%9d %5.1f %% %s\n", n[k], 100 * n[k] / all, k; printf "%9d total\n", all }' |
        sort -rn >"$BENCH/server-$1.txt"
    rm -f "$TRACE"
    TRACE=""
}

# --- the program under Wine --------------------------------------------------
# Runs the driver in MODE in a fresh Wine session; while it runs, follows the
# program's process. Leaves in DRIVE_* what was seen; returns 1 on failure
# with the reason in DRIVE_ERROR.
drive() {
    local mode="$1" output="$WORK/driver.out"
    DRIVE_ERROR="" DRIVE_SECONDS="" DRIVE_CPU="" DRIVE_SERVER_CPU="" DRIVE_HWM="" DRIVE_ANON="" DRIVE_SERVER_HWM=""
    DRIVE_WINDOW=""
    rm -f "$PLAYER/bench.release"
    # The Xvfb of the last session has gone with it.
    if [[ -n "$OWN_DISPLAY" ]]; then export DISPLAY="$OWN_DISPLAY"; else unset DISPLAY; fi
    wine_session_start "$BUILD_DIR/wineprefix"
    [[ $PROFILE == 0 ]] || trace_server
    local server
    server="$(wine_process wineserver64)"
    KORVANE_DISK_IO="$DISK_IO" KORVANE_REPORT_HOST="$CONFIG_SERVER" setsid "$WINE64" "$DRIVER" "$(windows_path "$PLAYER/KorvaneDownloader.exe")" \
        "$(windows_path "$PLAYER")" "$mode" >"$output" 2>"$WORK/driver.err" </dev/null &
    client_pid=$!
    local program="" anon_peak=0 cpu_ready="" server_ready="" anon
    while kill -0 "$client_pid" 2>/dev/null; do
        [[ -n "$program" ]] || program="$(wine_process KorvaneDownloader.exe)"
        if [[ -n "$program" ]]; then
            anon="$(kib_of "$program" RssAnon)"
            (( ${anon:-0} > anon_peak )) && anon_peak=$anon
        fi
        # Counted from the ready window on: the press comes a moment later.
        if [[ -z "$cpu_ready" ]] && grep -q '^ready' "$output"; then
            cpu_ready="$(cpu_of "$program")"; server_ready="$(cpu_of "$server")"; trace_mark
        fi
        if grep -qE '^(complete|failed)' "$output" || { [[ $mode == ready ]] && grep -q '^ready' "$output"; }; then
            break
        fi
        sleep 0.2
    done
    if grep -q '^failed' "$output" || [[ -z "$program" ]] || ! grep -qE '^(complete|ready)' "$output"; then
        DRIVE_ERROR="$(grep -m1 '^failed' "$output" || tail -2 "$WORK/driver.err" | tr '\n' ' ')"
        [[ -n "$DRIVE_ERROR" ]] || DRIVE_ERROR="the driver ended without a result"
    elif [[ $mode == download ]]; then
        trace_count download
        DRIVE_SECONDS="$(awk '$1 == "complete" { print $2 }' "$output")"
        DRIVE_CPU="$(awk -v a="$(cpu_of "$program")" -v b="$cpu_ready" 'BEGIN { printf "%.2f", a - b }')"
        DRIVE_SERVER_CPU="$(awk -v a="$(cpu_of "$server")" -v b="$server_ready" 'BEGIN { printf "%.2f", a - b }')"
        DRIVE_HWM="$(mib "$(kib_of "$program" VmHWM)")"
        DRIVE_ANON="$(mib "$anon_peak")"
        DRIVE_SERVER_HWM="$(mib "$(kib_of "$server" VmHWM)")"
    else
        # Settled: the start-up and the fetches are behind it, and so is the
        # one write of the registry to disk that Wine's server makes 30 s
        # after Wine's own start-up has changed it.
        sleep 35
        local cpu0 server0
        cpu0="$(cpu_of "$program")"; server0="$(cpu_of "$server")"; trace_mark
        sleep "$IDLE_SECONDS"
        DRIVE_CPU="$(awk -v a="$(cpu_of "$program")" -v b="$cpu0" 'BEGIN { printf "%.2f", a - b }')"
        DRIVE_SERVER_CPU="$(awk -v a="$(cpu_of "$server")" -v b="$server0" 'BEGIN { printf "%.2f", a - b }')"
        trace_count ready
    fi
    DRIVE_WINDOW="$(awk '$1 == "window" { print $2 }' "$output")"
    touch "$PLAYER/bench.release"
    wait "$client_pid" 2>/dev/null || true
    client_pid=""
    wine_session_stop
    [[ -z "$DRIVE_ERROR" ]]
}

# `program` is the program with its kernel's own disk back-end,
# `program-lt` the same program on libtorrent's memory-mapped one.
use_disk_io_of() {
    if [[ $1 == program-lt ]]; then DISK_IO=libtorrent; else DISK_IO=kernel; fi
}

program_download() {
    local run="$1" client="${2:-program}"
    use_disk_io_of "$client"
    start_swarm
    publish_game "$TORRENT" "$WEBSEED" "$TRACKER"
    # The game's program is not run at the end: it is not part of the download.
    make_player "$PLAYER" "$PROGRAM" bench-player false
    if ! drive download; then failed download "$client" "$run" "$DRIVE_ERROR"; return 1; fi
    if ! same_as_seed "$PLAYER/games/Korvane"; then failed download "$client" "$run" "the files differ from the seed's"; return 1; fi
    record what=download client="$client" run:="$run" ok:=true seconds:="$DRIVE_SECONDS" cpu:="$DRIVE_CPU" \
        wineserver_cpu:="$DRIVE_SERVER_CPU" hwm_mb:="$DRIVE_HWM" anon_peak_mb:="$DRIVE_ANON" \
        wineserver_hwm_mb:="$DRIVE_SERVER_HWM" window:="${DRIVE_WINDOW:-null}"
    say "$client run $run: ${DRIVE_SECONDS} s, CPU ${DRIVE_CPU} s + wineserver ${DRIVE_SERVER_CPU} s, VmHWM ${DRIVE_HWM} MiB (anonymous ${DRIVE_ANON} MiB)"
}

# Over the complete game the last download left: once as a player restarts
# it, once with the state file gone, so that every piece is read and hashed.
program_restart() {
    local run="$1" client="${2:-program}" how
    use_disk_io_of "$client"
    for how in state full; do
        [[ $how == full ]] && rm -f "$PLAYER"/cfg/*.dlbt
        if drive download; then
            record what=restart client="$client-$how" run:="$run" ok:=true seconds:="$DRIVE_SECONDS" \
                cpu:="$DRIVE_CPU" wineserver_cpu:="$DRIVE_SERVER_CPU" window:="${DRIVE_WINDOW:-null}"
            say "$client restart ($how) run $run: ${DRIVE_SECONDS} s"
        else
            failed restart "$client-$how" "$run" "$DRIVE_ERROR"
        fi
    done
}

program_idle() {
    local run="$1"
    if drive ready; then
        record what=idle client=program run:="$run" ok:=true seconds:="$IDLE_SECONDS" cpu:="$DRIVE_CPU" \
            wineserver_cpu:="$DRIVE_SERVER_CPU" window:="${DRIVE_WINDOW:-null}"
        say "program idle run $run: CPU ${DRIVE_CPU} s + wineserver ${DRIVE_SERVER_CPU} s in ${IDLE_SECONDS} s"
    else
        failed idle program "$run" "$DRIVE_ERROR"
    fi
}

# --- the native clients and the floor ----------------------------------------
# Runs a client that ends with "done SECONDS BYTES" in a process group of its
# own; leaves its seconds and CPU seconds (user + sys) in NATIVE_SECONDS and
# NATIVE_CPU, or returns 1 with the reason in NATIVE_ERROR.
native() {
    setsid /usr/bin/time -f "%U %S" -o "$WORK/times" "$@" >"$WORK/client.out" 2>"$WORK/client.err" </dev/null &
    client_pid=$!
    local status=0
    wait "$client_pid" || status=$?
    client_pid=""
    local result
    result="$(grep -E '^(done|failed) ' "$WORK/client.out" | tail -1 || true)"
    if [[ $status != 0 || "$result" != done* ]]; then
        NATIVE_ERROR="exit $status: $result $(tail -2 "$WORK/client.err" | tr '\n' ' ')"
        return 1
    fi
    NATIVE_SECONDS="$(awk '{ print $2 }' <<<"$result")"
    NATIVE_CPU="$(awk '{ printf "%.2f", $1 + $2 }' "$WORK/times")"
}

record_native() {
    record what="$1" client="$2" run:="$3" ok:=true seconds:="$NATIVE_SECONDS" cpu:="$NATIVE_CPU"
    say "$2 ($1) run $3: $NATIVE_SECONDS s, CPU $NATIVE_CPU s"
}

native_download() {
    local client="$1" run="$2" target="$WORK/download"
    start_swarm
    rm -rf "$target"
    mkdir -p "$target"
    local command=()
    case "$client" in
        aria2c) command=("$ROOT/bench/aria2-leecher.sh" "$target" "$TORRENT" --bt-tracker="$TRACKER" "$WEBSEED") ;;
        libtorrent) command=(/usr/bin/python3 "$ROOT/bench/native_leecher.py" "$TORRENT" "$target"
                             --tracker "$TRACKER" --webseed "$WEBSEED" --timeout 1800) ;;
        floor) command=(/usr/bin/python3 "$ROOT/bench/floor.py" download "$TORRENT" "$SEED" "$target") ;;
    esac
    if ! native "${command[@]}"; then
        failed download "$client" "$run" "$NATIVE_ERROR"
    elif ! same_as_seed "$target/KorvaneGame"; then
        failed download "$client" "$run" "the files differ from the seed's"
    else
        record_native download "$client" "$run"
    fi
    rm -rf "$target"
}

# Reading and hashing the complete game; the seed's copy holds the same
# bytes as the player's.
floor_check() {
    if native /usr/bin/python3 "$ROOT/bench/floor.py" check "$TORRENT" "$SEED"; then
        record_native restart floor "$1"
    else
        failed restart floor "$1" "$NATIVE_ERROR"
    fi
}

# --- the whole benchmark -----------------------------------------------------
mkdir -p "$BENCH" "$WORK"
: >"$RESULTS"
say "making the game (${SIZE_MB} MB, kept in $SWARM) and starting its swarm"
start_swarm
config_server_start "$WORK"
/usr/bin/python3 "$ROOT/bench/machine.py" start "$MACHINE" "$BUILD_DIR" "$TORRENT" "$WINE64" "$RUNS"
say "load at the start: $(json_field "$MACHINE" load_start)"

if [[ $PROFILE == 1 ]]; then
    for client in program program-lt; do
        has_client "$client" || continue
        program_download 1 "$client"
        mv -f "$BENCH/server-download.txt" "$BENCH/server-download-$client.txt" 2>/dev/null || true
        echo
        echo "requests to the wineserver while $client downloads $SIZE bytes:"
        head -16 "$BENCH/server-download-$client.txt" 2>/dev/null || echo "  (none counted: the run failed)"
    done
    use_disk_io_of program
    program_idle 1
    echo
    echo "requests to the wineserver while the program stands ready for $IDLE_SECONDS s:"
    head -16 "$BENCH/server-ready.txt" 2>/dev/null || echo "  (none counted: the run failed)"
    exit 0
fi

for ((run = 1; run <= RUNS; run++)); do
    for client in program program-lt; do
        has_client "$client" || continue
        # The restarts need the complete game the download left.
        program_download "$run" "$client" && program_restart "$run" "$client"
        floor_check "$run"
    done
    for client in aria2c libtorrent floor; do
        has_client "$client" || continue
        [[ $client == aria2c ]] && ! command -v aria2c >/dev/null && continue
        native_download "$client" "$run"
    done
done
has_client program && program_idle 1
/usr/bin/python3 "$ROOT/bench/machine.py" end "$MACHINE"

echo
if [[ $WRITE_RESULTS == 1 ]]; then
    chart="$ROOT/bench/program-bench.png" results_md="$ROOT/bench/RESULTS.md"
else
    chart="$BENCH/program-bench.png" results_md="$BENCH/RESULTS.md"
    cp "$ROOT/bench/RESULTS.md" "$results_md"
fi
/usr/bin/python3 "$ROOT/bench/program_report.py" "$RESULTS" "$MACHINE" "$chart" "$results_md"
echo
say "chart: $chart; results: $results_md"
