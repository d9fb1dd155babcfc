#!/bin/bash
# Two copies of the program in folders it cannot write to, for the fault
# tests of the configuration folder; started and stopped by a ctest fixture.
#
#   unwritable_folders.sh start STATE_DIR PROGRAM_EXE
#   unwritable_folders.sh stop STATE_DIR
#
# STATE_DIR/program/    the program, in a folder where no "cfg" can be made
# STATE_DIR/cfg-locked/ the program beside a "cfg" folder nothing can be
#                       written into
#
# Wine runs as root here and so ignores read-only attributes and modes;
# an immutable folder (chattr +i) refuses even root. Where the file system
# has no such flag, a read-only bind mount does the same.
set -euo pipefail

action="$1"
state="$2"

lock_folder() {
    local folder="$1"
    if chattr +i "$folder" 2>/dev/null; then
        echo chattr >"$folder.locked-by"
    else
        mount --bind "$folder" "$folder"
        mount -o remount,bind,ro "$folder"
        echo mount >"$folder.locked-by"
    fi
}

unlock_folder() {
    local folder="$1"
    [[ -f "$folder.locked-by" ]] || return 0
    case "$(cat "$folder.locked-by")" in
    chattr) chattr -i "$folder" 2>/dev/null || true ;;
    mount) umount "$folder" 2>/dev/null || true ;;
    esac
    rm -f "$folder.locked-by"
}

stop() {
    unlock_folder "$state/program"
    unlock_folder "$state/cfg-locked/cfg"
    rm -rf "$state"
}

case "$action" in
start)
    program="$3"
    stop
    mkdir -p "$state/program" "$state/cfg-locked/cfg"
    cp "$program" "$state/program/KorvaneDownloader.exe"
    cp "$program" "$state/cfg-locked/KorvaneDownloader.exe"
    lock_folder "$state/program"
    lock_folder "$state/cfg-locked/cfg"
    # Proof that the lock holds for root, as Wine will be.
    if touch "$state/program/probe" 2>/dev/null || touch "$state/cfg-locked/cfg/probe" 2>/dev/null; then
        echo "the folders could not be made unwritable" >&2
        stop
        exit 1
    fi
    ;;
stop)
    stop
    ;;
esac
