#!/bin/bash
# Makes the 64-bit Wine prefix the tests run in: boots it, maps the face
# "微软雅黑" (Microsoft YaHei) to an installed CJK font so Chinese text
# renders, and turns off the crash dialog that would hang an unattended run.
#
#   scripts/wine-prefix.sh DIR
set -euo pipefail

PREFIX_DIR="$1"
CJK_FONT="Noto Sans CJK SC"

rm -rf "$PREFIX_DIR"
mkdir -p "$PREFIX_DIR"
export WINEPREFIX="$PREFIX_DIR" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
WINE64="$(command -v wine64 || echo /usr/lib/wine/wine64)"

# wineboot needs no display; a missing one only costs a warning.
DISPLAY= "$WINE64" wineboot --init >/dev/null 2>&1
wineserver -w

reg_add() {
    DISPLAY= "$WINE64" reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1
}
for face in "微软雅黑" "Microsoft YaHei"; do
    reg_add 'HKCU\Software\Wine\Fonts\Replacements' "$face" REG_SZ "$CJK_FONT"
done
reg_add 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0
wineserver -w

touch "$PREFIX_DIR/.korvane-ready"
