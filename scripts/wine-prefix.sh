#!/bin/bash
# Makes the 64-bit Wine prefix the tests run in: boots it, maps the face
# "微软雅黑" (Microsoft YaHei) to an installed CJK font so Chinese text
# renders, turns off the crash dialog that would hang an unattended run, and
# gives the prefix folders of its own where Wine links the user's home.
#
#   scripts/wine-prefix.sh DIR
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
PREFIX_DIR="$1"
CJK_FONT="Noto Sans CJK SC"

rm -rf "$PREFIX_DIR"
mkdir -p "$PREFIX_DIR"
wine_env "$PREFIX_DIR"

# wineboot needs no display; a missing one only costs a warning.
DISPLAY='' "$WINE64" wineboot --init >/dev/null 2>&1
wineserver -w

reg_add() {
    DISPLAY='' "$WINE64" reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1
}
for face in "微软雅黑" "Microsoft YaHei"; do
    reg_add 'HKCU\Software\Wine\Fonts\Replacements' "$face" REG_SZ "$CJK_FONT"
done
reg_add 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0
# With the relay channel on (the strict checks), only who deletes GDI objects.
reg_add 'HKCU\Software\Wine\Debug' RelayInclude REG_SZ gdi32.DeleteObject
# Copies under these names see Windows XP (x64): start-up and the firewall
# on a Windows older than Vista (tests/strict/old_windows.sh).
for program in KorvaneDownloaderXP.exe firewall_tests_xp.exe startup_tests_xp.exe; do
    reg_add "HKCU\\Software\\Wine\\AppDefaults\\$program" Version REG_SZ winxp64
done
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
