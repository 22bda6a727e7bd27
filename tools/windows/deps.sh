#!/usr/bin/env bash
# Builds, once, what the Windows build links against and Debian does not ship for mingw-w64:
# Qt 6 (Core, Gui, Widgets and the Windows platform plugin), GoogleTest and utf8proc, all from
# Debian's own sources, into a cache outside the checkout. Each goes to a folder whose name
# carries what made it: the Debian source version, and a hash of the build options and of the
# cross compiler's version. A change to any of them builds it again in a new folder; a later
# run with the same ones finds it there and returns at once.
#
#   tools/windows/deps.sh          prints the folders on its last lines
#
# Sourced by tools/windows/build.sh for the names below; run on its own, it only builds.
set -euo pipefail

windows_cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-stats-editor/windows"
mingw_triplet=x86_64-w64-mingw32
here_windows="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# The cross compiler with POSIX threads (std::thread and std::mutex need them), the host's Qt
# whose moc, rcc and uic the cross build runs, and the tools that fetch and build the sources.
# The host's development packages of Qt, GoogleTest and utf8proc name the Debian source
# version that the cross builds are made from, so host tools and cross libraries agree.
windows_packages=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    cmake ninja-build dpkg-dev ccache
    qt6-base-dev qt6-base-dev-tools libgtest-dev libutf8proc-dev
)

say() { echo "windows: $*"; }
fail_windows() {
    echo "windows: $*" >&2
    exit 1
}

as_root() {
    if ((EUID == 0)); then
        "$@"
    else
        sudo "$@"
    fi
}

install_windows_packages() { # PACKAGE...
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    ((${#missing[@]} > 0)) || return 0
    say "installing missing packages: ${missing[*]}"
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
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
gtest_options=(-DCMAKE_BUILD_TYPE=Release -Dgtest_disable_pthreads=OFF)
utf8proc_options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DUTF8PROC_INSTALL=ON)

# cache_folder NAME HOST_PACKAGE OPTION...: the folder of NAME built from the Debian source of
# HOST_PACKAGE, at the version installed on the host, with OPTIONS and this cross compiler.
# STATS_WINDOWS_PREBUILT may name a read-only folder to take it from, as CI's roots do.
cache_folder() {
    local name=$1 version compiler hash
    version="$(dpkg-query -W -f='${source:Version}' "$2")"
    compiler="$(dpkg-query -W -f='${Version}' "g++-mingw-w64-x86-64-posix")"
    shift 2
    hash="$(printf '%s\n' "$compiler" "$@" | sha256sum | cut -c 1-12)"
    local prebuilt="${STATS_WINDOWS_PREBUILT:-/nonexistent}/$name-$version-$hash"
    if [[ -e "$prebuilt/.complete" ]]; then
        echo "$prebuilt"
    else
        echo "$windows_cache/$name-$version-$hash"
    fi
}

# Sets the folder names; the packages must be installed, since the names come from them.
name_windows_deps() {
    qt_prefix="$(cache_folder qt qt6-base-dev "${qt_configure_options[@]}")"
    gtest_prefix="$(cache_folder googletest libgtest-dev "${gtest_options[@]}")"
    utf8proc_prefix="$(cache_folder utf8proc libutf8proc-dev "${utf8proc_options[@]}")"
}

# apt-get with a configuration of its own in the cache, so that the system's is never changed:
# deb-src entries for the archives that this machine's apt reads (apt itself reads its sources,
# in whichever form they are written), and package lists of its own.
private_apt() {
    local dir="$windows_cache/apt"
    apt-get -o Dir::Etc::SourceList="$dir/sources.list" -o Dir::Etc::SourceParts="$dir/none" \
        -o Dir::State::Lists="$dir/lists" -o Dir::Cache="$dir/cache" \
        -o APT::Sandbox::User="$(id -un)" "$@"
}

prepare_private_apt() {
    local dir="$windows_cache/apt"
    [[ -e "$dir/lists/.complete" ]] && return
    mkdir -p "$dir/none" "$dir/lists/partial" "$dir/cache/archives/partial"
    # shellcheck disable=SC2016 # apt's own placeholders
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' |
        sort -u | awk '{ print "deb-src", $0 }' >"$dir/sources.list"
    [[ -s "$dir/sources.list" ]] ||
        fail_windows "apt knows no archive to fetch sources from; run apt-get update first"
    private_apt update -qq || fail_windows "apt-get update of the source lists in $dir failed"
    touch "$dir/lists/.complete"
}

fetch_source() { # HOST_PACKAGE DEST: unpacks the Debian source HOST_PACKAGE was built from
    local source version work
    source="$(dpkg-query -W -f='${source:Package}' "$1")"
    version="$(dpkg-query -W -f='${source:Version}' "$1")"
    prepare_private_apt
    work="$(mktemp -d "$windows_cache/src.XXXXXX")"
    say "fetching Debian's source of $source $version"
    (cd "$work" && private_apt source -qq "$source=$version" >/dev/null 2>&1) ||
        fail_windows "apt-get source $source=$version failed"
    rm -rf "$2"
    mv "$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)" "$2"
    rm -rf "$work"
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

build_failed() { # WHAT LOG
    tail -n 40 "$2" >&2
    fail_windows "the $1 build failed; the whole log is $2"
}

# A build that was cut short (a closed terminal, a lost machine) goes on where it stopped, as
# long as it was configured for the same folder; otherwise it starts from Debian's source.
build_qt() {
    [[ -e "$qt_prefix/.complete" ]] && return
    local src="$windows_cache/qtbase-src" build="$windows_cache/qtbase-build"
    local log="$windows_cache/qt-build.log"
    if [[ -e "$build/.configured-for" && "$(cat "$build/.configured-for")" == "$qt_prefix" ]]; then
        say "going on with the Qt build in $build (log: $log)"
    else
        say "building Qt for $mingw_triplet into $qt_prefix (about 30 minutes on 2 cores;" \
            "log: $log)"
        (
            fetch_source qt6-base-dev "$src"
            add_tablet_headers "$src"
            rm -rf "$build" "$qt_prefix"
            mkdir -p "$build"
            cd "$build"
            "$src/configure" -prefix "$qt_prefix" "${qt_configure_options[@]}" \
                -- -G Ninja -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
                -DCMAKE_TOOLCHAIN_FILE="$here_windows/mingw-toolchain.cmake"
        ) >"$log" 2>&1 || build_failed Qt "$log"
        echo "$qt_prefix" >"$build/.configured-for"
    fi
    (cmake --build "$build" --parallel "$(nproc)" && cmake --install "$build") \
        >>"$log" 2>&1 || build_failed Qt "$log"
    touch "$qt_prefix/.complete"
    rm -rf "$build" "$src"
    say "Qt is in $qt_prefix"
}

# build_cmake_source NAME HOST_PACKAGE PREFIX OPTION...: a static CMake project from source.
build_cmake_source() {
    local name=$1 package=$2 prefix=$3
    shift 3
    [[ -e "$prefix/.complete" ]] && return
    local src="$windows_cache/$name-src" build="$windows_cache/$name-build"
    local log="$windows_cache/$name-build.log"
    fetch_source "$package" "$src"
    say "building $name for $mingw_triplet into $prefix"
    rm -rf "$build" "$prefix"
    (
        cmake -S "$src" -B "$build" -G Ninja "$@" \
            -DCMAKE_TOOLCHAIN_FILE="$here_windows/mingw-toolchain.cmake" \
            -DCMAKE_INSTALL_PREFIX="$prefix"
        cmake --build "$build" --parallel "$(nproc)"
        cmake --install "$build"
    ) >"$log" 2>&1 || build_failed "$name" "$log"
    touch "$prefix/.complete"
    rm -rf "$build" "$src"
}

build_windows_deps() {
    mkdir -p "$windows_cache"
    # A second build at the same time waits for the first instead of unpacking over it.
    exec {cache_lock}>"$windows_cache/.lock"
    if ! flock -n "$cache_lock"; then
        say "waiting for another build of the Windows dependencies in $windows_cache"
        flock "$cache_lock"
    fi
    install_windows_packages "${windows_packages[@]}"
    name_windows_deps
    build_cmake_source googletest libgtest-dev "$gtest_prefix" "${gtest_options[@]}"
    build_cmake_source utf8proc libutf8proc-dev "$utf8proc_prefix" "${utf8proc_options[@]}"
    build_qt
    # Released here, or the X server and Wine that the tests start would inherit and hold it.
    exec {cache_lock}>&-
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    build_windows_deps
    printf '%s\n' "$qt_prefix" "$gtest_prefix" "$utf8proc_prefix"
fi
