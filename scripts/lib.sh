# shellcheck shell=bash
# What the project's scripts share: the Wine environment and a Wine session,
# a server's port file, fields of a JSON file, and a player's folder beside
# the configuration server. Sourced; it defines functions and variables and
# sets no trap: the script that sources it owns its traps and calls
# wine_session_stop and config_server_stop from them.

KORVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WINE64="$(command -v wine64 || echo /usr/lib/wine/wine64)"
KORVANE_XVFB_PID=""
CONFIG_SERVER=""
CONFIG_SERVER_PID=""

# --- Wine --------------------------------------------------------------------
# 64-bit Wine in the prefix $1 with the code page 936 of a Chinese system,
# without the Mono and Gecko installers and without menu entries on the
# host. Quiet unless the caller asked for channels (the strict checks do).
wine_env() {
    export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
}

windows_path() { local p="${1//\//\\}"; echo "Z:$p"; }

# The process named $1 that runs in our prefix (other prefixes may run the
# same programs); Linux keeps the first 15 characters of a name.
wine_process() {
    local pid
    for pid in $(pgrep -x "${1:0:15}" || true); do
        if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return 0
        fi
    done
}

# One wineserver for a whole run in the prefix $1 and, when there is no
# display (or KORVANE_FORCE_XVFB is set), a virtual one of our own.
wine_session_start() {
    # The whole run quiet, whatever the shell had.
    unset WINEDEBUG
    wine_env "$1"
    export KORVANE_WINE_HARNESS=1
    local managed=Y
    if [[ -z "${DISPLAY:-}" || -n "${KORVANE_FORCE_XVFB:-}" ]]; then
        # A display of our own has no window manager: a window Wine thought
        # managed would be waited for, two seconds each time it is taken
        # away, for a withdrawal nobody acknowledges.
        managed=N
        xvfb_start
    fi
    wineserver -p
    # Wine's own services and desktop start with the first program and keep
    # its standard handles; started here they hold /dev/null rather than a
    # test runner's output pipe, which would otherwise never see its end.
    # That first program tells Wine whether a window manager is there.
    "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed \
        /t REG_SZ /d "$managed" /f </dev/null >/dev/null 2>&1
}

xvfb_start() {
    local fd_file display
    fd_file="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
    KORVANE_XVFB_PID=$!
    display="$(wait_written "$fd_file" "$KORVANE_XVFB_PID")" || true
    rm -f "$fd_file"
    [[ -n "$display" ]] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$display"
}

wine_session_stop() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    stop_process "$KORVANE_XVFB_PID"
    KORVANE_XVFB_PID=""
}

# --- servers and files -------------------------------------------------------
stop_process() {
    [[ -n "$1" ]] || return 0
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# Prints the first line of the file $1 once the process $2 has written it
# (a server its port, Xvfb its display); fails when the process ends first
# or after 30 seconds.
wait_written() {
    local file="$1" pid="$2" tenths
    for ((tenths = 0; tenths < 300; tenths++)); do
        if [[ -s "$file" ]]; then
            head -1 "$file"
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# json_field FILE KEY...: the value under KEY... of a JSON file.
json_field() {
    /usr/bin/python3 -c 'import json, sys
value = json.load(open(sys.argv[1]))
for key in sys.argv[2:]:
    value = value[key]
print(value)' "$@"
}

# --- a game, its configuration server and a player ---------------------------
game_swarm() { /usr/bin/python3 "$KORVANE_ROOT/tests/e2e/game_swarm.py" "$@"; }

# The configuration server, which also collects the usage reports
# (tests/workflow/workflow_server.py), with its port file in the folder $1;
# leaves its host:port in CONFIG_SERVER.
config_server_start() {
    local port_file="$1/server.port" port
    rm -f "$port_file"
    /usr/bin/python3 "$KORVANE_ROOT/tests/workflow/workflow_server.py" "$port_file" &
    CONFIG_SERVER_PID=$!
    port="$(wait_written "$port_file" "$CONFIG_SERVER_PID")" || {
        echo "the configuration server did not start" >&2
        return 1
    }
    rm -f "$port_file"
    CONFIG_SERVER="127.0.0.1:$port"
}

config_server_stop() {
    stop_process "$CONFIG_SERVER_PID"
    CONFIG_SERVER_PID=""
}

# publish_game TORRENT WEBSEED TRACKER: the game's torrent and its download
# description on the configuration server.
publish_game() {
    local files="http://$CONFIG_SERVER/files/qorn"
    curl -sf -X PUT --data-binary @"$1" "$files/game.torrent" >/dev/null
    curl -sf -X PUT --data-binary "$(printf \
        '{"torrentUrl":"%s/game.torrent","httpSeed":["%s"],"trackers":["%s"],"mainExe":"bin\\\\game.exe","ver":"1.0.0"}' \
        "$files" "$2" "$3")" "$files/server.cfg" >/dev/null
}

# make_player FOLDER PROGRAM UUID RUN_GAME: a fresh player's folder with a
# copy of the program, its config.json naming the configuration server,
# and the settings of a player UUID whose game folder is FOLDER/games/Korvane.
make_player() {
    local folder="$1" program="$2" uuid="$3" run_game="$4" games
    rm -rf "$folder"
    mkdir -p "$folder/cfg" "$folder/games"
    cp "$program" "$folder/KorvaneDownloader.exe"
    printf '{"config_url":"http://%s/files/qorn/server.cfg","run_game_exe":%s,"exit_on_done":false}\n' \
        "$CONFIG_SERVER" "$run_game" >"$folder/config.json"
    games="$(windows_path "$folder/games/Korvane")\\"
    printf '{"savepath":"%s","uuid":"%s"}' "${games//\\/\\\\}" "$uuid" >"$folder/cfg/base.cfg"
}
