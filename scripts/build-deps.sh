#!/bin/bash
# Cross-builds the libraries Debian ships only for Linux from Debian's own
# source packages, with the project's toolchain, into a cache folder outside
# the work tree. Called by setup.sh once the system packages are in place.
#
#   scripts/build-deps.sh                  build what is missing (quiet when done)
#   scripts/build-deps.sh --print-prefix   print the dependency prefix and exit
#
# Our changes to a library are patches in scripts/patches/, named after the
# source package they change (libtorrent-rasterbar-*.patch), applied with -p1
# to the unpacked source before it is first built.
#
# The cache folder carries a hash of this recipe, the toolchain file and the
# patches, so a changed recipe builds into a new folder and an unchanged one
# is reused.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
mapfile -t PATCHES < <(find "$ROOT/scripts/patches" -maxdepth 1 -type f -name '*.patch' 2>/dev/null | LC_ALL=C sort)
RECIPE="$(cat "${BASH_SOURCE[0]}" "$TOOLCHAIN" "${PATCHES[@]}" | sha256sum | cut -c1-12)"
CACHE_ROOT="${KORVANE_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvane}"
PREFIX="$CACHE_ROOT/deps-$RECIPE"

if [[ "${1:-}" == "--print-prefix" ]]; then
    echo "$PREFIX"
    exit 0
fi

# To standard error: some callers run inside $(...), whose output is a value.
say() { echo "setup: $*" >&2; }

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

# Every patch must name a package this recipe builds: one that names none
# would silently change nothing.
check_patches() {
    local patch
    for patch in "${PATCHES[@]}"; do
        case "$(basename "$patch")" in
        libjsoncpp-*|pugixml-*|cpp-httplib-*|openssl-*|libtorrent-rasterbar-*) ;;
        *) say "$patch names no package this recipe builds"; exit 1 ;;
        esac
    done
}

# Applies our patches for package $1 to its freshly unpacked source $2. The
# folder is moved into the cache only after they all applied, so each is
# applied exactly once; one that does not apply stops the build.
apply_patches() {
    local pkg="$1" src="$2" patch
    for patch in "${PATCHES[@]}"; do
        [[ "$(basename "$patch")" == "$pkg"-* ]] || continue
        if ! patch -d "$src" -p1 --forward --batch --fuzz=0 --no-backup-if-mismatch \
                <"$patch" >"$src.patch.log" 2>&1; then
            cat "$src.patch.log" >&2
            say "$(basename "$patch") does not apply to the source of $pkg"
            exit 1
        fi
        say "applied $(basename "$patch")"
    done
    rm -f "$src.patch.log"
}

# Prints the unpacked source folder of a Debian source package, with our
# patches for it applied: the newest apt knows, or the one of the release
# suite named as PACKAGE/SUITE. Runs in a subshell of its caller, so its trap
# cleans up only its own temporary folder.
fetch_source() {
    local request="$1" pkg="${1%%/*}" dir="$PREFIX/src"
    mkdir -p "$dir"
    if [[ ! -d "$dir/$pkg.src" ]]; then
        local tmp; tmp="$(mktemp -d "$dir/.fetch.XXXXXX")"
        trap "rm -rf '$tmp'" EXIT
        if ! (cd "$tmp" && apt-get source -qq --only-source "$request" >apt.log 2>&1); then
            tail -20 "$tmp/apt.log" >&2
            say "apt-get source $pkg failed"
            exit 1
        fi
        local unpacked; unpacked="$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -1)"
        [[ -n "$unpacked" ]] || { say "apt-get source $pkg unpacked nothing"; exit 1; }
        apply_patches "$pkg" "$unpacked"
        mv "$unpacked" "$dir/$pkg.src"
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

# OpenSSL gives libtorrent its SHA-1 with the CPU's SHA instructions, HTTPS
# trackers and HTTP seeds, and gives the blocking URL client HTTPS. From the
# release suite: the source of the newest security update is not always
# published where apt finds it. Static, and with no path of this machine
# compiled in: the folder OpenSSL would read its configuration and
# certificates from is the Windows default only administrators can write,
# and it never reads a configuration file by itself.
build_openssl() {
    local src; src="$(fetch_source openssl/bookworm)"
    local build="$PREFIX/build/openssl" dir="C:/Program Files/Common Files/SSL"
    mkdir -p "$build"
    local log="$build.log"
    (cd "$build" &&
        CC=gcc-posix perl "$src/Configure" mingw64 --cross-compile-prefix=x86_64-w64-mingw32- \
            no-shared no-tests no-autoload-config no-dso --prefix="$PREFIX" --libdir=lib \
            >"$log" 2>&1 &&
        make -j"$(nproc)" OPENSSLDIR="$dir" ENGINESDIR="$dir/engines-3" MODULESDIR="$dir/ossl-modules" \
            build_libs >>"$log" 2>&1 &&
        make install_dev >>"$log" 2>&1) ||
        { tail -40 "$log"; say "building openssl failed, log: $log"; exit 1; }
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
        -DOPENSSL_ROOT_DIR="$PREFIX" -DOPENSSL_USE_STATIC_LIBS=TRUE \
        -DCMAKE_DISABLE_FIND_PACKAGE_GnuTLS=ON -DCMAKE_DISABLE_FIND_PACKAGE_LibGcrypt=ON
}

build_dependencies() {
    [[ -e "$PREFIX/.complete" ]] && return
    check_patches
    say "building libraries into $PREFIX (OpenSSL and libtorrent take several minutes)"
    mkdir -p "$PREFIX/build"
    build_jsoncpp
    build_pugixml
    install_httplib
    build_openssl
    build_libtorrent
    touch "$PREFIX/.complete"
    say "libraries ready"
}

build_dependencies
