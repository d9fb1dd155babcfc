#!/bin/bash
# The whole road on this machine: a demo game of a few hundred MB seeded by a
# local swarm (opentracker, a libtorrent seeder, nginx as HTTP seed), the
# configuration server and report collector, and the downloader under Wine
# fetching the game. With a display the player presses start; without one it
# runs under Xvfb, a stand-in presses start, prints the window's progress
# line and saves pictures into BUILD_DIR/demo. Ends with what happened.
# Everything it started stops at the end, also on Ctrl-C.
#
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$(cd "${1:-$ROOT/build}" && pwd)"
source "$ROOT/scripts/wine-session.sh"

GAME_MB="${KORVANE_DEMO_GAME_MB:-300}"
DEMO="$BUILD_DIR/demo"
SWARM="$DEMO/swarm"
PLAYER="$DEMO/player"
GAMES="$PLAYER/games/Korvane"
UUID="demo-player"
VER="1.0.0"
PROGRAM="$BUILD_DIR/app/KorvaneDownloader-local-reports.exe"
GAME_SWARM=(/usr/bin/python3 "$ROOT/tests/e2e/game_swarm.py")
collector_pid=""

say() { echo "demo: $*"; }
windows_path() { local p="${1//\//\\}"; echo "Z:$p"; }

stop_all() {
    wine_session_stop
    "${GAME_SWARM[@]}" stop "$SWARM" 2>/dev/null || true
    if [[ -n "$collector_pid" ]]; then
        kill "$collector_pid" 2>/dev/null || true
        wait "$collector_pid" 2>/dev/null || true
        collector_pid=""
    fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

mkdir -p "$DEMO"
rm -f "$DEMO"/*.png

# 1. The game and its swarm; the game is made once and kept for the next run.
say "making the demo game (${GAME_MB} MB, kept in $SWARM) and starting its swarm"
"${GAME_SWARM[@]}" start "$SWARM" "$BUILD_DIR/tests/demo_game.exe" "$GAME_MB" >/dev/null
swarm_field() { /usr/bin/python3 -c 'import json,sys; print(eval("json.load(open(sys.argv[1]))" + sys.argv[2]))' "$SWARM/swarm.json" "$1"; }
TRACKER="$(swarm_field '["tracker"]')"
WEBSEED="$(swarm_field '["webseed"]')"
TORRENT="$(swarm_field '["torrents"]["game"]["torrent"]')"
say "tracker $TRACKER, HTTP seed $WEBSEED, seeder on port $(swarm_field '["ports"]["seeder"]')"

# 2. The configuration server, which also collects the usage reports.
/usr/bin/python3 "$ROOT/tests/workflow/workflow_server.py" "$DEMO/server.port" &
collector_pid=$!
for _ in $(seq 100); do [[ -s "$DEMO/server.port" ]] && break; sleep 0.1; done
[[ -s "$DEMO/server.port" ]] || { say "the configuration server did not start"; exit 1; }
SERVER="127.0.0.1:$(cat "$DEMO/server.port")"
rm -f "$DEMO/server.port"
curl -sf -X PUT --data-binary @"$TORRENT" "http://$SERVER/files/qorn/game.torrent" >/dev/null
cat >"$DEMO/server.cfg" <<CFG
{"torrentUrl":"http://$SERVER/files/qorn/game.torrent","httpSeed":["$WEBSEED"],"trackers":["$TRACKER"],"mainExe":"bin\\\\game.exe","ver":"$VER"}
CFG
curl -sf -X PUT --data-binary @"$DEMO/server.cfg" "http://$SERVER/files/qorn/server.cfg" >/dev/null
say "configuration server and report collector on $SERVER"

# 3. The player's copy of the downloader, its config.json and a fresh folder.
rm -rf "$PLAYER"
mkdir -p "$PLAYER/cfg" "$PLAYER/games"
cp "$PROGRAM" "$PLAYER/KorvaneDownloader.exe"
cat >"$PLAYER/config.json" <<CFG
{"config_url":"http://$SERVER/files/qorn/server.cfg","run_game_exe":true,"exit_on_done":false}
CFG
games_windows="$(windows_path "$GAMES")\\"
printf '{"savepath":"%s","uuid":"%s"}' "${games_windows//\\/\\\\}" "$UUID" >"$PLAYER/cfg/base.cfg"

# 4. The downloader under Wine.
had_display="${DISPLAY:-}"
wine_session_start "$BUILD_DIR/wineprefix"
trap stop_all EXIT
desktop_link="$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -iname Desktop -type d 2>/dev/null | head -1)/Korvane.lnk"
rm -f "$desktop_link"
export KORVANE_REPORT_HOST="$SERVER"
driver=("$ROOT/scripts/wine.sh" --prefix "$WINEPREFIX" "$BUILD_DIR/tests/player_driver.exe"
        "$(windows_path "$PLAYER/KorvaneDownloader.exe")" "$(windows_path "$PLAYER")" "$(windows_path "$DEMO")")
started=$(date +%s)
if [[ -n "$had_display" ]]; then
    say "the downloader opens on your screen: press its start button, close it when done"
    "${driver[@]}" || true
else
    say "no display: running under Xvfb on $DISPLAY; the stand-in player presses start"
    "${driver[@]}" --press-start || true
fi
took=$(( $(date +%s) - started ))

# 5. What happened.
echo
say "what happened (${took}s):"
verified=0; differing=0
while IFS= read -r -d '' seed_file; do
    relative="${seed_file#"$SWARM/seed/KorvaneGame/"}"
    if cmp -s "$seed_file" "$GAMES/$relative"; then verified=$((verified + 1)); else differing=$((differing + 1)); say "  differs or missing: $relative"; fi
done < <(find "$SWARM/seed/KorvaneGame" -type f -print0)
say "  files identical to the seed's: $verified, differing: $differing"
if [[ -s "$GAMES/bin/game-started.txt" ]]; then say "  game program started: yes"; else say "  game program started: no"; fi
if [[ -f "$desktop_link" ]]; then say "  desktop shortcut Korvane.lnk made: yes"; else say "  desktop shortcut Korvane.lnk made: no"; fi
seeder_sent="$(/usr/bin/python3 -c 'import json,sys; print(sum(v["uploaded"] for v in json.load(open(sys.argv[1])).values()))' "$SWARM/seeder-stats.json" 2>/dev/null || echo 0)"
web_sent="$(awk '$1 ~ /^\/KorvaneGame\// {s += $2} END {print s + 0}' "$SWARM/webseed-access.log")"
say "  sent by the seeder: $((seeder_sent / 1048576)) MiB, by the HTTP seed: $((web_sent / 1048576)) MiB"
say "  usage reports received:"
curl -sf "http://$SERVER/reports/$UUID" | sed 's/^/demo:     /'
for picture in ready downloading completed game; do
    [[ -f "$DEMO/$picture.png" ]] && say "  picture: $DEMO/$picture.png"
done
[[ $differing -eq 0 && $verified -gt 0 ]]
