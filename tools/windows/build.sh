#!/usr/bin/env bash
# Builds the Windows programs on Debian and packs them, into build/windows/:
#   tavrel-stats-editor-VERSION-windows-x64.zip        a folder that runs where it is unpacked
#   tavrel-stats-editor-VERSION-windows-x64-setup.exe  a per-user installer
#
#   tools/windows/build.sh          build and pack
#   tools/windows/build.sh test     also run the tests under Wine (tools/windows/test.sh)
#
# What the two hold is CMake's install() (tools/windows/install.cmake); CPack packs it. Qt,
# GoogleTest and utf8proc for Windows are built once from Debian's sources into the cache that
# tools/windows/deps.sh names; the rest takes a minute.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=tools/windows/deps.sh
source "$root/tools/windows/deps.sh"

# On top of what the cross build needs: Wine to run the build's tools and tests, NSIS for the
# installer, the fonts the zip brings, whose files and licences come from Debian, and
# strip-nondeterminism for the zip's file times.
pack_packages=(wine wine64 nsis fonts-lobster fonts-crosextra-carlito strip-nondeterminism)
# The tests drive the editor in a virtual X server and read its pixels back, and compare
# stats-table.exe with the Linux stats-table, which g++ builds.
test_packages=(xvfb xauth xdotool imagemagick unzip g++)

out="$root/build/windows"
build_dir="$out/build"

# A Qt built for another system runs the host Qt's moc, rcc and uic; QT_HOST_PATH says where.
# ccache keeps the objects in the Windows cache, so a fresh checkout compiles little again.
configure_and_build() { # ON|OFF: with the tests or without
    say "building the programs in $build_dir"
    export CCACHE_DIR="$windows_cache/ccache" CCACHE_BASEDIR="$root"
    cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
        -DCMAKE_TOOLCHAIN_FILE="$root/tools/windows/mingw-toolchain.cmake" \
        -DCMAKE_PREFIX_PATH="$qt_prefix;$gtest_prefix;$utf8proc_prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DSTATS_BUILD_GUI=ON -DSTATS_WINDOWS_TESTS="$1" >/dev/null
    cmake --build "$build_dir" --parallel "$(nproc)"
}

pack() {
    (cd "$build_dir" && cpack -B "$out/cpack" >"$out/cpack.log" 2>&1) || {
        cat "$out/cpack.log" >&2
        fail_windows "packing failed; the log is $out/cpack.log"
    }
    local file
    for file in "$out"/cpack/*.zip "$out"/cpack/*-setup.exe; do
        mv "$file" "$out/"
        say "made $out/${file##*/} ($(du -h "$out/${file##*/}" | cut -f1))"
    done
    strip-nondeterminism -t zip -T "$SOURCE_DATE_EPOCH" "$out"/*.zip >/dev/null
    zip="$(ls "$out"/*.zip)"
    setup="$(ls "$out"/*-setup.exe)"
}

main() {
    case "${1:-}" in
    "" | test) ;;
    *)
        echo "usage: tools/windows/build.sh [test]" >&2
        exit 2
        ;;
    esac
    local packages=("${windows_packages[@]}" "${pack_packages[@]}")
    if [[ "${1:-}" == test ]]; then
        packages+=("${test_packages[@]}")
    fi
    install_windows_packages "${packages[@]}"
    build_windows_deps
    # The times in the programs' resources and in the zip are those of the last commit, so
    # that two builds of one commit give the same bytes.
    SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)"
    export SOURCE_DATE_EPOCH QT_RCC_SOURCE_DATE_OVERRIDE="$SOURCE_DATE_EPOCH"
    configure_and_build "$([[ "${1:-}" == test ]] && echo ON || echo OFF)"
    rm -rf "$out/cpack" "$out"/*.zip "$out"/*-setup.exe
    pack
    if [[ "${1:-}" == test ]]; then
        "$root/tools/windows/test.sh" "$build_dir" "$zip" "$setup"
    fi
}

main "$@"
