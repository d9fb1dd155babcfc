#!/bin/bash
# Start-up and the firewall registration on a Windows older than Vista. The
# test prefix shows Windows XP (x64) to programs of the copies' names
# (scripts/wine-prefix.sh), so the authorised-applications routine runs for
# real, in the firewall tests and in every start of the program.
#
#   old_windows.sh WORK_DIR PROGRAM FIREWALL_TESTS STARTUP_TESTS WINE_COMMAND...
set -euo pipefail

work="$1" program="$2" firewall_tests="$3" startup_tests="$4"
shift 4
rm -rf "$work"
mkdir -p "$work"
cp "$program" "$work/KorvaneDownloaderXP.exe"
cp "$firewall_tests" "$work/firewall_tests_xp.exe"
cp "$startup_tests" "$work/startup_tests_xp.exe"

status=0
output="$("$@" "$work/firewall_tests_xp.exe")" || status=$?
echo "$output"
[[ $status -eq 0 ]] || exit $status
if ! grep -q "start-up ran the old routine for version 502" <<<"$output"; then
    echo "the copy did not see Windows XP: the old routine was not chosen" >&2
    exit 1
fi
KORVANE_PROGRAM="$work/KorvaneDownloaderXP.exe" "$@" "$work/startup_tests_xp.exe"
