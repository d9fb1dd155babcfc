#!/bin/bash
# Brings a fresh Debian 12 machine to the point where the Windows build and
# its tests run: Debian packages, the zh_CN locale for Wine's code page 936,
# deb-src entries, then the cross-built libraries (build-deps.sh). Quiet when
# everything is in place.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth cmake ninja-build make libboost-dev googletest
    libz-mingw-w64-dev fonts-noto-cjk locales python3 dpkg-dev perl
    opentracker python3-libtorrent nginx-light exfat-fuse exfatprogs openssl osslsigncode python3-cryptography
    python3-matplotlib python3-fusepy
)

say() { echo "setup: $*"; }

as_root() {
    if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

apt_updated=0
apt_update() {
    if [[ $apt_updated -eq 0 ]]; then
        as_root apt-get update -qq
        apt_updated=1
    fi
}

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    [[ ${#missing[@]} -eq 0 ]] && return
    say "installing ${missing[*]}"
    apt_update
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Wine takes its ANSI code page from LANG, but only for a locale that exists:
# without it Wine silently stays on 1252 and every Chinese text turns to '?'.
ensure_locale() {
    locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' && return
    say "generating the zh_CN.UTF-8 locale"
    as_root sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
}

has_deb_src() {
    grep -qsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list \
        /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources
}

# `apt-get source` needs deb-src entries; add one beside every deb entry.
ensure_deb_src() {
    has_deb_src && return
    say "adding deb-src entries"
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -e "$f" ]] || continue
        sed 's/^Types: *deb *$/Types: deb-src/' "$f" |
            as_root tee "/etc/apt/sources.list.d/korvane-src-$(basename "$f")" >/dev/null
    done
    if [[ -s /etc/apt/sources.list ]]; then
        sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list |
            as_root tee /etc/apt/sources.list.d/korvane-src.list >/dev/null
    fi
    apt_updated=0
    apt_update
}

install_packages
ensure_locale
ensure_deb_src
bash "$ROOT/scripts/build-deps.sh"
