#!/usr/bin/env bash
# The tests of the Windows build, under Wine. Run by tools/windows/build.sh test, after the
# build and the packing:
#
#   tools/windows/test.sh BUILD_DIR ZIP SETUP_EXE
#
# 1. the core and stats-table unit tests, through CTest and Wine;
# 2. the zip holds exactly what the install manifest lists;
# 3. from here on the programs of the unpacked zip, in a fresh Wine prefix, with no DLL folder
#    of the build machine on the path: stats-table.exe against the Linux stats-table, the same
#    export of the sample image, and the same image after an import of a changed CSV;
# 4. the editor in a virtual X server, driven with xdotool, checked against the image's bytes,
#    and its start-up time beside a minimal Qt program's;
# 5. the installer and the uninstaller (tools/windows/installer_test.sh).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build_dir="$1"
zip="$2"
setup="$3"
wine_run="$root/tools/windows/wine-run.sh"
work="$(mktemp -d)"
# Under set -e a failing command ends the trap too, and sets the script's status: a prefix
# whose server has gone already is no failure.
trap 'WINEPREFIX="$work/wine" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

say() { echo "windows test: $*"; }
fail() {
    echo "windows test: FAILED: $*" >&2
    exit 1
}

unit_tests() {
    say "unit tests under Wine"
    ctest --test-dir "$build_dir" --output-on-failure --no-tests=error --timeout 300
}

# The Linux programs the Windows ones are compared with, built from the same sources.
linux_tools() {
    local host="$root/build/windows/linux"
    cmake -S "$root" -B "$host" -DSTATS_BUILD_GUI=OFF -DSTATS_BUILD_TESTS=OFF \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
    cmake --build "$host" --parallel "$(nproc)" --target stats-table make-sample-image >/dev/null
    echo "$host/bin"
}

table_against_linux() {
    local linux
    linux="$(linux_tools)"
    say "stats-table.exe against the Linux stats-table"
    cd "$work"
    "$linux/make-sample-image" sample.nds >/dev/null
    "$linux/stats-table" export sample.nds linux.csv
    "$wine_run" --packed "$stage/stats-table.exe" export sample.nds windows.csv
    cmp linux.csv windows.csv || fail "the export to a file differs from Linux's"
    # Again over the file it made, which is replaced; to NUL; never over the image.
    echo old >windows.csv
    "$wine_run" --packed "$stage/stats-table.exe" export sample.nds windows.csv
    cmp linux.csv windows.csv || fail "the export over an existing file differs from Linux's"
    "$wine_run" --packed "$stage/stats-table.exe" export sample.nds NUL
    cp sample.nds kept.nds
    if "$wine_run" --packed "$stage/stats-table.exe" export sample.nds sample.nds 2>/dev/null; then
        fail "an export over the image itself was not refused"
    fi
    cmp sample.nds kept.nds || fail "an export over the image changed it"
    "$wine_run" --packed "$stage/stats-table.exe" export sample.nds >stdout.csv
    cmp linux.csv stdout.csv || fail "the export to standard output differs from Linux's"
    # Two values of two entries changed; an import writes exactly those bytes on both.
    awk -F, -v OFS=, 'NR == 5 { $4 = 123 } NR == 9 { $6 = 7 } { print }' linux.csv >changed.csv
    mkdir linux windows
    cp sample.nds linux/image.nds
    cp sample.nds windows/image.nds
    (cd linux && "$linux/stats-table" import image.nds ../changed.csv >../linux-report.txt)
    (cd windows && "$wine_run" --packed "$stage/stats-table.exe" import image.nds ../changed.csv \
        >../windows-report.txt)
    cmp linux/image.nds windows/image.nds || fail "the image after the import differs from Linux's"
    cmp -s sample.nds windows/image.nds && fail "the import wrote nothing"
    cmp linux-report.txt windows-report.txt || fail "the import's report differs from Linux's"
    cd - >/dev/null
}

# The zip unpacked as a user would, and a Wine prefix that has seen nothing of the build.
unpack() {
    say "the zip unpacked in a fresh Wine prefix"
    unzip -q "$zip" -d "$work/unpacked"
    stage="$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)"
    export WINEPREFIX="$work/wine"
    "$wine_run" wineboot -i >/dev/null 2>&1
    "$wine_run" --packed "$stage/stats-table.exe" --help | grep -q 'stats-table export' ||
        fail "stats-table.exe of the zip does not start"
}

# The zip holds exactly what CMake's install() lists, no more and no less.
zip_against_manifest() {
    say "the zip against the install manifest"
    cmake --install "$build_dir" --prefix "$work/installed" >/dev/null
    local listed packed
    listed="$(sed "s|/\./|/|g; s|^$work/installed/||" "$build_dir/install_manifest.txt" | sort)"
    packed="$(cd "$stage" && find . -type f -printf '%P\n' | sort)"
    [[ "$listed" == "$packed" ]] ||
        fail "the zip and the install manifest differ:"$'\n'"$(diff <(echo "$listed") <(echo "$packed"))"
}

main() {
    unit_tests
    unpack
    zip_against_manifest
    table_against_linux
    "$root/tools/windows/window_test.sh" "$stage" "$work" "$build_dir"
    "$root/tools/windows/installer_test.sh" "$setup"
    say "all passed"
}

main
