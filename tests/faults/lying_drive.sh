#!/bin/bash
# The lying drive (lying_drive.py) over a folder of the build tree, seen by
# the Wine prefix as a drive of its own; a ctest fixture mounts it before
# the tests that use it and removes it after them, also when they fail.
#
#   lying_drive.sh start|stop PREFIX MOUNT_DIR LETTER
#
# The files live in MOUNT_DIR.backing; the drive's process id is kept in
# MOUNT_DIR.pid and what it says in MOUNT_DIR.log. Where FUSE cannot be
# mounted nothing is made and the tests of the drive skip. Stopping unmounts
# the drive, ends its process (by force when it does not end by itself) and
# removes the folders.
set -uo pipefail

action="$1"
prefix="$2"
mount_dir="$3"
link="$prefix/dosdevices/${4,,}:"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
backing="$mount_dir.backing"
pid_file="$mount_dir.pid"
log="$mount_dir.log"
source "$here/../../scripts/lib.sh"

# Waits up to $2 tenths of a second for the process $1 to end.
wait_gone() {
    local tenths
    for ((tenths = 0; tenths < $2; tenths++)); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    ! kill -0 "$1" 2>/dev/null
}

remove_drive() {
    rm -f "$link"
    local pid=""
    [[ -s "$pid_file" ]] && pid="$(head -1 "$pid_file")"
    local busy=0
    if mountpoint -q "$mount_dir" && ! fusermount -u "$mount_dir" 2>/dev/null; then
        # A file still open (Wine's server may hold one) keeps a plain
        # unmount from working and the drive's process alive: the drive is
        # detached, and its process ended, which cuts the connection.
        busy=1
        fusermount -u -z "$mount_dir" 2>/dev/null || umount -l "$mount_dir" 2>/dev/null
    fi
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
        { [[ $busy == 0 ]] && wait_gone "$pid" 50; } || { kill -TERM "$pid" 2>/dev/null; wait_gone "$pid" 20; } ||
            { kill -KILL "$pid" 2>/dev/null; wait_gone "$pid" 50; }
    fi
    # A drive whose process ended by force is left as a dead mount.
    mountpoint -q "$mount_dir" 2>/dev/null && umount -l "$mount_dir" 2>/dev/null
    rm -f "$pid_file"
    rm -rf "$backing"
    rmdir "$mount_dir" 2>/dev/null || true
}

skip() {
    echo "$1: the tests of the lying drive skip" >&2
    [[ -s "$log" ]] && cat "$log" >&2
    remove_drive
    exit 0
}

case "$action" in
start)
    remove_drive
    [[ -c /dev/fuse ]] || skip "no /dev/fuse"
    command -v fusermount >/dev/null || skip "no fusermount"
    /usr/bin/python3 -c 'import fusepy' 2>/dev/null || skip "no python3-fusepy"
    mkdir -p "$mount_dir" "$backing" "$prefix/dosdevices"
    setsid /usr/bin/python3 "$here/lying_drive.py" "$backing" "$mount_dir" "$pid_file" \
        </dev/null >"$log" 2>&1 &
    wait_written "$pid_file" "$!" >/dev/null || {
        # Not mounted: the process may still be starting; it must not stay.
        kill -KILL "$!" 2>/dev/null
        skip "the lying drive could not be mounted"
    }
    ln -sfn "$mount_dir" "$link"
    ;;
stop)
    remove_drive
    ;;
*)
    echo "usage: $0 start|stop PREFIX MOUNT_DIR LETTER" >&2
    exit 2
    ;;
esac
