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

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PREFIX_DIR="$ROOT/build/wineprefix"
if [[ "${1:-}" == "--prefix" ]]; then
    PREFIX_DIR="$2"
    shift 2
fi

export WINEPREFIX="$PREFIX_DIR"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
WINE="$(command -v wine64 || echo /usr/lib/wine/wine64)"

if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" --prefix "$PREFIX_DIR" "$@"
fi

"$WINE" "$@"
rc=$?
if [[ -z "${KORVANE_WINE_HARNESS:-}" ]]; then
    wineserver -w
fi
exit $rc
