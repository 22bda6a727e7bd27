#!/usr/bin/env bash
# The tests of the Windows build, under Wine. Run by tools/windows/build.sh test, after the
# build and the packing:
#
#   tools/windows/test.sh BUILD_DIR STAGE SETUP_EXE
#
# 1. the core and stats-table unit tests, through CTest and Wine;
# 2. stats-table.exe against the Linux stats-table: the same export of the sample image, and
#    the same image after an import of a changed CSV;
# 3. the editor in a virtual X server, driven with xdotool, checked against the image's bytes;
# 4. the installer: silent install, the "Open with" key, a start, a silent uninstall.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build_dir="$1"
stage="$2"
setup="$3"
wine_run="$root/tools/windows/wine-run.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

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

main() {
    unit_tests
    table_against_linux
    "$root/tools/windows/window_test.sh" "$stage" "$work"
    "$root/tools/windows/installer_test.sh" "$setup"
    say "all passed"
}

main
