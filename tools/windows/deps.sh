#!/usr/bin/env bash
# Builds, once, what the Windows build links against and Debian does not ship for mingw-w64:
# Qt 6 (Core, Gui, Widgets and the Windows platform plugin) and GoogleTest, both from Debian's
# own sources, into a cache outside the checkout. A later run finds them there and returns at
# once; delete the cache folder to build them again.
#
#   tools/windows/deps.sh          prints the cache folder on its last line
#
# Sourced by tools/windows/build.sh for the names below; run on its own, it only builds.
set -euo pipefail

windows_cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-stats-editor/windows"
qt_version=6.4.2
qt_prefix="$windows_cache/qt-$qt_version-mingw64"
gtest_prefix="$windows_cache/googletest-mingw64"
mingw_triplet=x86_64-w64-mingw32

# The cross compiler with POSIX threads (std::thread and std::mutex need them), the host's Qt
# whose moc, rcc and uic the cross build runs, and the tools that fetch and build the sources.
windows_packages=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    cmake ninja-build dpkg-dev ccache
    qt6-base-dev qt6-base-dev-tools
)

say() { echo "windows: $*"; }

missing_windows_packages() { # PACKAGE...
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            printf '%s\n' "$pkg"
        fi
    done
}

as_root() {
    if ((EUID == 0)); then
        "$@"
    else
        sudo "$@"
    fi
}

install_windows_packages() { # PACKAGE...
    local missing
    mapfile -t missing < <(missing_windows_packages "$@")
    if ((${#missing[@]} == 0)); then
        return
    fi
    say "installing missing packages: ${missing[*]}"
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# apt-get source needs deb-src entries. When apt has none, this adds one that mirrors each
# enabled deb822 entry for this release's suites: the same mirror, suites, components and key.
ensure_source_entries() {
    if apt-cache showsrc qt6-base >/dev/null 2>&1 &&
        apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package:'; then
        return
    fi
    local codename list=/etc/apt/sources.list.d/tavrel-deb-src.sources
    codename="$(. /etc/os-release && echo "$VERSION_CODENAME")"
    local entries=""
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [[ -e "$file" && "$file" != "$list" ]] || continue
        entries+="$(awk -v codename="$codename" '
            function flush() {
                if (stanza != "" && types ~ /(^| )deb( |$)/ && suites ~ codename && enabled)
                    printf "%s\n", stanza
                stanza = ""; types = ""; suites = ""; enabled = 1
            }
            BEGIN { enabled = 1 }
            /^[[:space:]]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { types = $0; sub(/^Types:[[:space:]]*/, "", types)
                        stanza = stanza "Types: deb-src\n"; next }
            /^Suites:/ { suites = $0 }
            /^Enabled:[[:space:]]*no/ { enabled = 0 }
            { stanza = stanza $0 "\n" }
            END { flush() }' "$file")"$'\n'
    done
    if [[ -r /etc/apt/sources.list ]]; then
        local line
        while read -r line; do
            entries+="$(awk '{ $1 = "deb-src"; print }' <<<"$line")"$'\n'
        done < <(grep -E "^deb[[:space:]].*[[:space:]]$codename([-[:space:]])" /etc/apt/sources.list || true)
    fi
    if [[ -z "${entries//[[:space:]]/}" ]]; then
        echo "windows: apt has no source entries and no deb entry for $codename to mirror;" \
            "add a deb-src line for the Debian archive" >&2
        exit 1
    fi
    say "adding source entries for apt-get source in $list"
    # One stanza per block; the awk output already ends each one with a blank line's worth.
    printf '%s' "$entries" | awk 'BEGIN { RS = ""; ORS = "\n\n" } { print }' |
        as_root tee "$list" >/dev/null
    as_root apt-get update -qq
}

# Debian's source leaves out Qt's copy of the tablet headers. Wine ships an LGPL version of
# both in libwine-dev; the .deb is unpacked, not installed, and the headers are put where the
# platform plugin looks for them.
add_tablet_headers() { # QT_SOURCE_DIR
    local src=$1 work
    work="$(mktemp -d)"
    chmod 755 "$work" # apt's download user writes there
    (cd "$work" && apt-get download -qq libwine-dev >/dev/null 2>&1)
    dpkg-deb -x "$work"/libwine-dev_*.deb "$work/root"
    local dir="$src/src/3rdparty/wintab"
    mkdir -p "$dir"
    local header
    header="$(find "$work/root" -name wintab.h -path '*windows*' | head -n 1)"
    cp "$header" "$dir/wintab_wine.h"
    cp "$(dirname "$header")/pktdef.h" "$dir/pktdef.h"
    # Wine's header names its A/W pairs through Wine's own macros, which mean nothing outside
    # Wine; here they pick the wide variants when UNICODE is set, as Qt's build does. Qt also
    # expects the original header's API, the calling convention of the tablet functions.
    cat >"$dir/wintab.h" <<'HEADER'
#pragma once
#include <windows.h>
#ifdef UNICODE
#define WINELIB_NAME_AW(name) name##W
#else
#define WINELIB_NAME_AW(name) name##A
#endif
#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
#include "wintab_wine.h"
/* The calling convention the original header names its function pointers with. */
#ifndef API
#define API WINAPI
#endif
HEADER
    rm -rf "$work"
}

fetch_source() { # PACKAGE DEST: unpacks Debian's source of PACKAGE into DEST
    local pkg=$1 dest=$2 work
    work="$(mktemp -d "$windows_cache/src.XXXXXX")"
    say "fetching Debian's source of $pkg"
    (cd "$work" && apt-get source -qq "$pkg" >/dev/null 2>&1) || {
        echo "windows: apt-get source $pkg failed" >&2
        exit 1
    }
    local dir
    dir="$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
    rm -rf "$dest"
    mv "$dir" "$dest"
    rm -rf "$work"
}

# Only what the two programs use: Widgets on the Windows platform plugin, and the JPEG and ICO
# readers for the window's picture and icon; no OpenGL, network, SQL or XML. The third-party
# libraries come from Qt's own copies, as mingw has none of Debian's. The host's Qt runs moc,
# rcc and uic. Direct2D stays on: Qt 6.4 builds its DirectWrite fonts only with it, and the
# platform plugin does not link without them.
qt_configure_options=(
    -xplatform win32-g++ -device-option CROSS_COMPILE="$mingw_triplet-"
    -qt-host-path /usr -release -shared -nomake tests -nomake examples
    -no-opengl -no-dbus -no-icu -no-feature-sql -no-feature-network
    -no-feature-testlib -no-feature-printsupport -no-feature-concurrent
    -no-feature-xml -no-feature-zstd -no-feature-vulkan
    -no-feature-pdf
    -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz
    -qt-doubleconversion
)

configure_qt() { # SOURCE_DIR BUILD_DIR
    fetch_source qt6-base "$1"
    add_tablet_headers "$1"
    rm -rf "$2" "$qt_prefix"
    mkdir -p "$2"
    (cd "$2" && "$1/configure" -prefix "$qt_prefix" "${qt_configure_options[@]}" \
        -- -G Ninja -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_TOOLCHAIN_FILE="$here_windows/mingw-toolchain.cmake")
}

# A build that was cut short (a closed terminal, a lost machine) goes on where it stopped, as
# long as it was configured with the options above; otherwise it starts from Debian's source.
build_qt() {
    if [[ -e "$qt_prefix/.complete" ]]; then
        return
    fi
    local src="$windows_cache/qtbase-src" build="$windows_cache/qtbase-build"
    local configured="$build/.configured-with" wanted="${qt_configure_options[*]} $qt_prefix"
    local log="$windows_cache/qt-build.log"
    if [[ -e "$configured" && "$(cat "$configured")" == "$wanted" ]]; then
        say "going on with the Qt build in $build (log: $log)"
    else
        say "building Qt $qt_version for $mingw_triplet into $qt_prefix (about 30 minutes on 2" \
            "cores; log: $log)"
        configure_qt "$src" "$build" >"$log" 2>&1 || qt_build_failed "$log"
        printf '%s' "$wanted" >"$configured"
    fi
    (cmake --build "$build" --parallel "$(nproc)" && cmake --install "$build") \
        >>"$log" 2>&1 || qt_build_failed "$log"
    touch "$qt_prefix/.complete"
    rm -rf "$build" "$src"
    say "Qt is in $qt_prefix"
}

qt_build_failed() { # LOG
    tail -n 40 "$1" >&2
    echo "windows: the Qt build failed; the whole log is $1" >&2
    exit 1
}

build_googletest() {
    if [[ -e "$gtest_prefix/.complete" ]]; then
        return
    fi
    local src="$windows_cache/googletest-src" build="$windows_cache/googletest-build"
    fetch_source googletest "$src"
    say "building GoogleTest for $mingw_triplet into $gtest_prefix"
    rm -rf "$build" "$gtest_prefix"
    (
        cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$here_windows/mingw-toolchain.cmake" \
            -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -Dgtest_disable_pthreads=OFF
        cmake --build "$build" --parallel "$(nproc)"
        cmake --install "$build"
    ) >"$windows_cache/googletest-build.log" 2>&1 || {
        tail -n 40 "$windows_cache/googletest-build.log" >&2
        echo "windows: the GoogleTest build failed; the log is $windows_cache/googletest-build.log" >&2
        exit 1
    }
    touch "$gtest_prefix/.complete"
    rm -rf "$build" "$src"
}

here_windows="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

build_windows_deps() {
    mkdir -p "$windows_cache"
    # A second build at the same time waits for the first instead of unpacking over it.
    exec {cache_lock}>"$windows_cache/.lock"
    if ! flock -n "$cache_lock"; then
        say "waiting for another build of the Windows dependencies in $windows_cache"
        flock "$cache_lock"
    fi
    install_windows_packages "${windows_packages[@]}"
    if [[ ! -e "$qt_prefix/.complete" || ! -e "$gtest_prefix/.complete" ]]; then
        ensure_source_entries
    fi
    build_googletest
    build_qt
    # Released here, or the X server and Wine that the tests start would inherit and hold it.
    exec {cache_lock}>&-
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    build_windows_deps
    echo "$windows_cache"
fi
