#!/bin/bash
# Fails when a Windows binary imports a DLL that a bare Windows does not
# have, such as the MinGW runtime (libstdc++-6.dll, libwinpthread-1.dll).
#
#   check-imports.sh OBJDUMP binary...
set -uo pipefail

OBJDUMP="$1"
shift
SYSTEM_DLLS=" advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll dwmapi.dll gdi32.dll
 gdiplus.dll imm32.dll iphlpapi.dll kernel32.dll msimg32.dll msvcrt.dll mswsock.dll ole32.dll
 oleaut32.dll rpcrt4.dll secur32.dll shell32.dll shlwapi.dll user32.dll userenv.dll uxtheme.dll
 version.dll wininet.dll winmm.dll ws2_32.dll wsock32.dll dbghelp.dll ntdll.dll "
# One blank between names, so that a name at a line end matches too.
SYSTEM_DLLS=" $(echo $SYSTEM_DLLS) "

status=0
for binary in "$@"; do
    imports="$("$OBJDUMP" -p "$binary" | sed -n 's/^\s*DLL Name: //p')"
    if [[ -z "$imports" ]]; then
        echo "FAIL: no imports read from $binary"
        status=1
        continue
    fi
    while read -r dll; do
        lower="$(echo "$dll" | tr 'A-Z' 'a-z')"
        if [[ "$SYSTEM_DLLS" != *" $lower "* && "$lower" != api-ms-win-* ]]; then
            echo "FAIL: $(basename "$binary") imports $dll"
            status=1
        fi
    done <<<"$imports"
    [[ $status -eq 0 ]] && echo "ok: $(basename "$binary") imports only system DLLs: $(echo $imports)"
done
exit $status
