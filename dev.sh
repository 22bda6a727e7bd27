#!/usr/bin/env bash
# One entry point for a fresh Debian 12 or 13 machine: installs what is missing, builds into
# build/, and then runs the editor, the tests or the benchmarks.
#
#   ./dev.sh run              build and start the editor (makes build/sample.nds to try it on)
#   ./dev.sh test             build and run the whole test suite through CTest
#   ./dev.sh test --sanitize  the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   ./dev.sh bench            release build, run every benchmark, print the table of targets
#   ./dev.sh fuzz [SECONDS]   run the libFuzzer targets (the import check, the number rule,
#                             the name pack check)
#                             for SECONDS each, 600 by default; --ci runs each for 60 s
#   ./dev.sh package [DIR]    build the Debian package into DIR (build/ by default), run lintian
#   ./dev.sh test --package   the package test: build it, check it, install it in a scratch root
#   ./dev.sh windows [--test] the Windows zip and installer in build/windows/ (tools/windows/);
#                             --test also runs their tests under Wine
#   ./dev.sh release          the .deb, the zip, the installer and their SHA256SUMS in
#                             build/release/
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"

# Debian packages the editor and stats-table build and run with: what ./dev.sh run installs.
# Fonts stand in for the faces the window was designed with (Carlito for the caps face,
# Liberation Sans for Arial and the small sans serif, Lobster Two for the credit line).
run_packages=(
    build-essential cmake pkgconf
    qt6-base-dev libgl-dev libfontconfig-dev
    # Names match whatever their letter case and Unicode form: utf8proc's tables.
    libutf8proc-dev
    fonts-crosextra-carlito fonts-liberation2 fonts-dejavu-core fonts-lobster
)

# What the test suites and the benchmarks need on top: ./dev.sh test installs both lists.
test_packages=(
    libgtest-dev googletest libgmock-dev libbenchmark-dev
    # The start-up benchmark talks to the X server through libxcb; the window suites and the
    # benchmarks run under an X server of their own.
    libxcb1-dev xvfb xauth
    # The benchmarks time whole stats-table processes, as a user waits for them.
    hyperfine
    desktop-file-utils appstream
    # The acceptance test: a window manager, real input, the accessibility bus and its reader.
    openbox xdotool x11-utils x11-xserver-utils dbus-daemon at-spi2-core python3-pyatspi
)

# What building and checking the Debian package needs on top of the build: the packaging tools
# and lintian. The build dependencies in debian/control are the two lists above, since the
# package's build runs the core's tests.
package_tools=(dpkg-dev devscripts debhelper lintian fakeroot git)

# The fuzz targets are built with clang, as libFuzzer is a part of it; the rest of the build
# uses g++.
fuzz_tools=(clang-19 libfuzzer-19-dev libclang-rt-19-dev)

missing_packages() { # PACKAGE...
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            printf '%s\n' "$pkg"
        fi
    done
}

install_missing() { # PACKAGE...
    local missing
    mapfile -t missing < <(missing_packages "$@")
    if ((${#missing[@]} == 0)); then
        return
    fi
    echo "dev.sh: installing missing packages: ${missing[*]}"
    local sudo=()
    if ((EUID != 0)); then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

jobs="$(nproc 2>/dev/null || echo 2)"

build() { # build DIR [cmake options...]: configures DIR with the tests and builds everything
    local dir="$1"
    shift
    cmake -S . -B "$dir" -DSTATS_BUILD_TESTS=ON "$@" >/dev/null
    cmake --build "$dir" --parallel "$jobs"
}

# make_package OUT: builds the source and the binary package, unsigned, from a copy of the
# tracked files in OUT/package, and leaves the .deb in OUT. dpkg-buildpackage writes into
# debian/ and into the folder above the sources, so it never runs in the checkout itself; the
# copy takes the files as they are now, edits included.
make_package() {
    local out=$1
    local work="$out/package"
    if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        echo "dev.sh: the package is built from the files git tracks; run it in a git checkout" >&2
        exit 1
    fi
    local name version arch
    name="$(dpkg-parsechangelog -l debian/changelog -S Source)"
    version="$(dpkg-parsechangelog -l debian/changelog -S Version)"
    arch="$(dpkg-architecture -q DEB_HOST_ARCH)"
    local tree="$work/$name-$version"
    rm -rf "$work"
    mkdir -p "$tree"
    # A tracked file deleted in the checkout is left out, as a build of the checkout would.
    git ls-files -z | while IFS= read -r -d '' file; do
        if [[ -e "$file" || -L "$file" ]]; then
            printf '%s\0' "$file"
        fi
    done | tar --null --no-recursion -T - -cf - | tar -xf - -C "$tree"

    echo "dev.sh: building $name $version in $work (log: $work/build.log)"
    if ! (cd "$tree" && dpkg-buildpackage --build=source,binary --no-sign -J"$jobs") \
        >"$work/build.log" 2>&1; then
        tail -n 40 "$work/build.log" >&2
        echo "dev.sh: the package build failed; the whole log is $work/build.log" >&2
        exit 1
    fi
    local deb="${name}_${version}_${arch}.deb"
    cp "$work/$deb" "$out/$deb"
    echo "dev.sh: built $out/$deb"
    # The changes file names the source package and every binary one, so lintian checks them
    # all. Errors and warnings fail the command; the info tags that remain are explained in the
    # README.
    lintian --display-info --fail-on error,warning "$work/${name}_${version}_${arch}.changes"
    echo "dev.sh: lintian found no error and no warning"
}

cmd="${1:-}"
shift || true
case "$cmd" in
run)
    install_missing "${run_packages[@]}"
    # Only the programs: the suites and the benchmarks, and what they need, wait for
    # ./dev.sh test, which configures the same folder with them again.
    cmake -S . -B build -DSTATS_BUILD_TESTS=OFF >/dev/null
    cmake --build build --parallel "$jobs" --target stats-editor stats-table make-sample-image
    sample="$here/build/sample.nds"
    if [[ ! -e "$sample" ]]; then
        "$here/build/bin/make-sample-image" "$sample"
    fi
    echo "dev.sh: a sample image to open: $sample"
    exec "$here/build/bin/stats-editor"
    ;;
test)
    dir=build
    opts=()
    case "${1:-}" in
    --sanitize)
        dir=build/sanitize
        opts=(-DSTATS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
        ;;
    --package)
        # The package test builds the package itself, so the build folder is only configured.
        install_missing "${run_packages[@]}" "${test_packages[@]}" "${package_tools[@]}"
        cmake -S . -B build -DSTATS_BUILD_TESTS=ON >/dev/null
        exec ctest --test-dir build --output-on-failure --no-tests=error --label-regex '^package$'
        ;;
    esac
    install_missing "${run_packages[@]}" "${test_packages[@]}"
    build "$dir" "${opts[@]}"
    # The package test needs the packaging tools and compiles the editor once more; it runs on
    # its own, with --package.
    ctest --test-dir "$dir" --output-on-failure --parallel "$jobs" --timeout 300 \
        --label-exclude '^package$'
    ;;
bench)
    install_missing "${run_packages[@]}" "${test_packages[@]}"
    build build/bench -DCMAKE_BUILD_TYPE=Release
    exec "$here/bench/run.sh" "$here/build/bench"
    ;;
fuzz)
    install_missing "${run_packages[@]}" "${test_packages[@]}" "${fuzz_tools[@]}"
    seconds="${1:-600}"
    if [[ "$seconds" == --ci ]]; then
        seconds=60
    fi
    dir=build/fuzz
    cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++-19 -DSTATS_FUZZ=ON -DSTATS_BUILD_GUI=OFF \
        >/dev/null
    cmake --build "$dir" --parallel "$jobs" --target import_fuzz numbertext_fuzz pack_fuzz
    for target in import numbertext pack; do
        # New finds go to the build folder; the seeds in tests/ are only read.
        mkdir -p "$dir/corpus/$target"
        echo "dev.sh: fuzzing the $target check for $seconds s"
        if ! "$here/$dir/bin/${target}_fuzz" -max_total_time="$seconds" -max_len=8192 \
            -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$dir/$target-" \
            "$dir/corpus/$target" "tests/fuzz/corpus/$target"; then
            echo "dev.sh: the $target fuzz target failed; add the input it saved in $dir/ to" \
                "tests/fuzz/corpus/$target/ once it is mended" >&2
            exit 1
        fi
    done
    echo "dev.sh: every fuzz target ran $seconds s and found nothing"
    ;;
package)
    install_missing "${run_packages[@]}" "${test_packages[@]}" "${package_tools[@]}"
    out="${1:-build}"
    mkdir -p "$out"
    make_package "$(cd "$out" && pwd)"
    ;;
windows)
    exec "$here/tools/windows/build.sh" "${1:+${1#--}}"
    ;;
release)
    # What a release publishes, with the sums a user checks a download against.
    install_missing "${run_packages[@]}" "${test_packages[@]}" "${package_tools[@]}"
    out="$here/build/release"
    rm -rf "$out"
    mkdir -p "$out"
    make_package "$out"
    rm -rf "$out/package"
    "$here/tools/windows/build.sh"
    cp build/windows/*.zip build/windows/*-setup.exe "$out/"
    (cd "$out" && sha256sum -- *.deb *.zip *.exe >SHA256SUMS && cat SHA256SUMS)
    ;;
*)
    echo "usage: ./dev.sh run | test [--sanitize | --package] | bench | fuzz [SECONDS | --ci]" \
        "| package [DIR] | windows [--test] | release" >&2
    exit 2
    ;;
esac
