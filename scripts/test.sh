#!/bin/bash
# Runs every test under Wine, with a private display and one wineserver.
#
#   scripts/test.sh [BUILD_DIR] [ctest arguments...]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$(cd "${1:-$ROOT/build}" && pwd)"
shift || true
source "$ROOT/scripts/lib.sh"

trap wine_session_stop EXIT
trap 'exit 130' INT TERM
KORVANE_FORCE_XVFB=1 wine_session_start "$BUILD_DIR/wineprefix"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 "$@"
