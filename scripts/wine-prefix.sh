#!/bin/bash
# Makes the 64-bit Wine prefix the tests run in: boots it, maps the face
# "微软雅黑" (Microsoft YaHei) to an installed CJK font so Chinese text
# renders, turns off the crash dialog that would hang an unattended run, and
# gives the prefix folders of its own where Wine links the user's home.
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

# A desktop shortcut made by a test stays in the prefix, out of the home folder
# and out of other builds' way.
for link in "$PREFIX_DIR"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos}; do
    if [[ -L "$link" ]]; then
        rm "$link"
        mkdir "$link"
    fi
done

touch "$PREFIX_DIR/.korvane-ready"
