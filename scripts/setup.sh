#!/bin/bash
# Brings a fresh Debian 12 machine to the point where the Windows build and
# its tests run: Debian packages, the zh_CN locale for Wine's code page 936,
# and the libraries Debian ships only for Linux, cross-built from Debian's own
# source packages into a cache outside the work tree.
#
#   scripts/setup.sh                  install what is missing (quiet when done)
#   scripts/setup.sh --print-prefix   print the dependency prefix and exit
#
# The cache folder carries a hash of this script and the toolchain file, so a
# changed recipe builds into a new folder and an unchanged one is reused.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
RECIPE="$(cat "${BASH_SOURCE[0]}" "$TOOLCHAIN" | sha256sum | cut -c1-12)"
CACHE_ROOT="${KORVANE_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvane}"
PREFIX="$CACHE_ROOT/deps-$RECIPE"

if [[ "${1:-}" == "--print-prefix" ]]; then
    echo "$PREFIX"
    exit 0
fi

PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth cmake ninja-build make libboost-dev googletest
    libz-mingw-w64-dev fonts-noto-cjk locales python3 dpkg-dev
)
SOURCE_PACKAGES=(libjsoncpp cpp-httplib pugixml libtorrent-rasterbar)

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

cmake_cross() {
    local src="$1" build="$2"; shift 2
    cmake -S "$src" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DCMAKE_PREFIX_PATH="$PREFIX" \
        -DBUILD_SHARED_LIBS=OFF "$@" >"$build.log" 2>&1 &&
    cmake --build "$build" >>"$build.log" 2>&1 &&
    cmake --install "$build" >>"$build.log" 2>&1 ||
        { tail -40 "$build.log"; say "building $(basename "$src") failed, log: $build.log"; exit 1; }
}

fetch_source() {
    local pkg="$1" dir="$PREFIX/src"
    mkdir -p "$dir"
    if ! ls -d "$dir/$pkg".src 2>/dev/null >/dev/null; then
        local tmp; tmp="$(mktemp -d "$dir/.fetch.XXXXXX")"
        (cd "$tmp" && apt-get source -qq --only-source "$pkg" >/dev/null 2>&1) ||
            { say "apt-get source $pkg failed"; exit 1; }
        local unpacked; unpacked="$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -1)"
        mv "$unpacked" "$dir/$pkg.src"
        rm -rf "$tmp"
    fi
    echo "$dir/$pkg.src"
}

build_jsoncpp() {
    local src; src="$(fetch_source libjsoncpp)"
    cmake_cross "$src" "$PREFIX/build/jsoncpp" \
        -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
        -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON \
        -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF
}

build_pugixml() {
    local src; src="$(fetch_source pugixml)"
    cmake_cross "$src" "$PREFIX/build/pugixml" -DPUGIXML_BUILD_TESTS=OFF
}

install_httplib() {
    local src; src="$(fetch_source cpp-httplib)"
    install -D -m 644 "$src/httplib.h" "$PREFIX/include/httplib.h"
}

# Boost is header-only for libtorrent; the cross compiler sees it through a
# folder that holds boost/ alone, never the host's /usr/include.
build_libtorrent() {
    local src; src="$(fetch_source libtorrent-rasterbar)"
    mkdir -p "$PREFIX/boost-include"
    ln -sfn /usr/include/boost "$PREFIX/boost-include/boost"
    cmake_cross "$src" "$PREFIX/build/libtorrent" \
        -DBoost_INCLUDE_DIR="$PREFIX/boost-include" -DBoost_NO_BOOST_CMAKE=ON \
        -Dstatic_runtime=ON -Dbuild_tests=OFF -Dbuild_examples=OFF -Dbuild_tools=OFF \
        -Dpython-bindings=OFF -Di2p=OFF -Dwebtorrent=OFF \
        -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON -DCMAKE_DISABLE_FIND_PACKAGE_GnuTLS=ON \
        -DCMAKE_DISABLE_FIND_PACKAGE_LibGcrypt=ON
}

build_dependencies() {
    [[ -e "$PREFIX/.complete" ]] && return
    say "building libraries into $PREFIX (libtorrent takes several minutes)"
    ensure_deb_src
    mkdir -p "$PREFIX/build"
    build_jsoncpp
    build_pugixml
    install_httplib
    build_libtorrent
    touch "$PREFIX/.complete"
    say "libraries ready"
}

install_packages
ensure_locale
build_dependencies
