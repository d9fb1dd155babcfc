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
source "$ROOT/scripts/lib.sh"

GAME_MB="${KORVANE_DEMO_GAME_MB:-300}"
DEMO="$BUILD_DIR/demo"
SWARM="$DEMO/swarm"
PLAYER="$DEMO/player"
GAMES="$PLAYER/games/Korvane"
UUID="demo-player"
PROGRAM="$BUILD_DIR/app/KorvaneDownloader-local-reports.exe"

say() { echo "demo: $*"; }

stop_all() {
    wine_session_stop
    game_swarm stop "$SWARM" 2>/dev/null || true
    config_server_stop
}
trap stop_all EXIT
trap 'exit 130' INT TERM

mkdir -p "$DEMO"
rm -f "$DEMO"/*.png

# 1. The game and its swarm; the game is made once and kept for the next run.
say "making the demo game (${GAME_MB} MB, kept in $SWARM) and starting its swarm"
game_swarm start "$SWARM" "$BUILD_DIR/tests/demo_game.exe" "$GAME_MB" >/dev/null
TRACKER="$(json_field "$SWARM/swarm.json" tracker)"
WEBSEED="$(json_field "$SWARM/swarm.json" webseed)"
TORRENT="$(json_field "$SWARM/swarm.json" torrents game torrent)"
say "tracker $TRACKER, HTTP seed $WEBSEED, seeder on port $(json_field "$SWARM/swarm.json" ports seeder)"

# 2. The configuration server, which also collects the usage reports.
config_server_start "$DEMO"
publish_game "$TORRENT" "$WEBSEED" "$TRACKER"
say "configuration server and report collector on $CONFIG_SERVER"

# 3. The player's copy of the downloader, its config.json and a fresh folder.
make_player "$PLAYER" "$PROGRAM" "$UUID" true

# 4. The downloader under Wine.
had_display="${DISPLAY:-}"
wine_session_start "$BUILD_DIR/wineprefix"
desktop_link="$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -iname Desktop -type d 2>/dev/null | head -1)/Korvane.lnk"
rm -f "$desktop_link"
export KORVANE_REPORT_HOST="$CONFIG_SERVER"
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
curl -sf "http://$CONFIG_SERVER/reports/$UUID" | sed 's/^/demo:     /'
for picture in ready downloading completed game; do
    [[ -f "$DEMO/$picture.png" ]] && say "  picture: $DEMO/$picture.png"
done
[[ $differing -eq 0 && $verified -gt 0 ]]
