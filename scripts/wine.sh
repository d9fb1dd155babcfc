#!/bin/bash
# Runs a Windows program under 64-bit Wine in the project's prefix, with the
# code page 936 of a Chinese system and no Wine chatter.
#
#   scripts/wine.sh [--prefix DIR] program.exe [args...]
#
# Without a display it runs under a private Xvfb. Unless the test harness
# keeps a wineserver for the whole run (KORVANE_WINE_HARNESS), it waits for
# the wineserver to end so that nothing is left running.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
PREFIX_DIR="$KORVANE_ROOT/build/wineprefix"
if [[ "${1:-}" == "--prefix" ]]; then
    PREFIX_DIR="$2"
    shift 2
fi
wine_env "$PREFIX_DIR"

if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" --prefix "$PREFIX_DIR" "$@"
fi

"$WINE64" "$@"
rc=$?
if [[ -z "${KORVANE_WINE_HARNESS:-}" ]]; then
    wineserver -w
fi
exit $rc
