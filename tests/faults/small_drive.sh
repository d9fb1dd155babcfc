#!/bin/bash
# A small filesystem seen by the Wine prefix as a drive of its own, for the
# full-disk tests; a ctest fixture makes it before them and removes it after
# them, also when they fail.
#
#   small_drive.sh start|stop PREFIX MOUNT_DIR LETTER SIZE_MB
#
# Mounting needs root; without it nothing is made and the tests skip.
set -uo pipefail

action="$1"
prefix="$2"
mount_dir="$3"
link="$prefix/dosdevices/${4,,}:"
size_mb="$5"

remove_drive() {
    rm -f "$link"
    if mountpoint -q "$mount_dir"; then
        umount "$mount_dir" || umount -l "$mount_dir"
    fi
    rmdir "$mount_dir" 2>/dev/null || true
}

case "$action" in
start)
    remove_drive
    if [[ "$(id -u)" != 0 ]]; then
        echo "not root: no small drive, the full-disk tests skip" >&2
        exit 0
    fi
    mkdir -p "$mount_dir" "$prefix/dosdevices"
    if ! mount -t tmpfs -o "size=${size_mb}m,mode=0777" tmpfs "$mount_dir"; then
        echo "tmpfs could not be mounted: the full-disk tests skip" >&2
        rmdir "$mount_dir" 2>/dev/null || true
        exit 0
    fi
    ln -sfn "$mount_dir" "$link"
    ;;
stop)
    remove_drive
    ;;
*)
    echo "usage: $0 start|stop PREFIX MOUNT_DIR LETTER SIZE_MB" >&2
    exit 2
    ;;
esac
