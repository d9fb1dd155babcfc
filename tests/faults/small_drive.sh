#!/bin/bash
# A small filesystem seen by the Wine prefix as a drive of its own, for the
# full-disk tests; a ctest fixture makes it before them and removes it after
# them, also when they fail.
#
#   small_drive.sh start|stop PREFIX MOUNT_DIR LETTER SIZE_MB ext4|exfat
#
# Both are images on a loop device. ext4 behaves as NTFS does for a game:
# its files take room only as they are written, and the parts not written
# yet read as zeros. (tmpfs does not: on a full tmpfs even reading such a
# part through a memory map fails, which no player's drive does, and which
# leaves libtorrent's reading thread hanging under Wine.) exfat, mounted
# through FUSE, allocates a file in full as soon as it is extended, as FAT32
# and exFAT drives do. Mounting needs root; without it nothing is made and
# the tests skip.
set -uo pipefail

action="$1"
prefix="$2"
mount_dir="$3"
link="$prefix/dosdevices/${4,,}:"
size_mb="$5"
kind="$6"
image="$mount_dir.img"

remove_drive() {
    rm -f "$link"
    if mountpoint -q "$mount_dir"; then
        umount "$mount_dir" || umount -l "$mount_dir"
    fi
    if [[ -e "$image" ]]; then
        losetup -j "$image" -O NAME --noheadings 2>/dev/null | xargs -r -n1 losetup -d
        rm -f "$image"
    fi
    rmdir "$mount_dir" 2>/dev/null || true
}

skip() {
    echo "$1: the tests of this drive skip" >&2
    remove_drive
    exit 0
}

make_image() {
    truncate -s "${size_mb}M" "$image" && "$@" "$image" >/dev/null 2>&1 || skip "no $kind image"
}

mount_ext4() {
    make_image mkfs.ext4 -q -F -m 0
    mount -o loop "$image" "$mount_dir" 2>/dev/null || skip "ext4 could not be mounted"
    chmod 0777 "$mount_dir"
}

mount_exfat() {
    command -v mkfs.exfat >/dev/null && command -v mount.exfat-fuse >/dev/null || skip "no exFAT tools"
    make_image mkfs.exfat
    local device
    device="$(losetup -f --show "$image" 2>/dev/null)" || skip "no loop device"
    mount.exfat-fuse -o umask=000 "$device" "$mount_dir" >/dev/null 2>&1 || skip "exFAT could not be mounted"
}

case "$action" in
start)
    remove_drive
    [[ "$(id -u)" == 0 ]] || skip "not root"
    mkdir -p "$mount_dir" "$prefix/dosdevices"
    case "$kind" in
    ext4) mount_ext4 ;;
    exfat) mount_exfat ;;
    *) echo "unknown drive kind $kind" >&2; exit 2 ;;
    esac
    ln -sfn "$mount_dir" "$link"
    ;;
stop)
    remove_drive
    ;;
*)
    echo "usage: $0 start|stop PREFIX MOUNT_DIR LETTER SIZE_MB ext4|exfat" >&2
    exit 2
    ;;
esac
