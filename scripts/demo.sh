#!/bin/bash
# Runs the program under Wine on its embedded defaults: on the screen when
# there is one, otherwise under a virtual display, with a screenshot of it.
#
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$(cd "${1:-$ROOT/build}" && pwd)"
source "$ROOT/scripts/wine-session.sh"

EXE="$(ls "$BUILD_DIR"/app/*.exe | head -1)"
DEMO_DIR="$BUILD_DIR/demo"
mkdir -p "$DEMO_DIR"
had_display="${DISPLAY:-}"
wine_session_start "$BUILD_DIR/wineprefix"

cd "$DEMO_DIR"
if [[ -n "$had_display" ]]; then
    echo "demo: starting $(basename "$EXE"); close its window to end the demo"
    "$ROOT/scripts/wine.sh" --prefix "$WINEPREFIX" "$EXE"
else
    echo "demo: no display, running $(basename "$EXE") under Xvfb on $DISPLAY"
    "$ROOT/scripts/wine.sh" --prefix "$WINEPREFIX" "$EXE" &
    program=$!
    sleep 5
    if command -v import >/dev/null; then
        import -window root "$DEMO_DIR/screenshot.png" 2>/dev/null &&
            echo "demo: screenshot saved to $DEMO_DIR/screenshot.png"
    fi
    echo "demo: closing the program"
    wineserver -k
    wait "$program" || true
fi
