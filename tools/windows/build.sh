#!/usr/bin/env bash
# Builds the Windows programs on Debian and packs them, into build/windows/:
#   tavrel-stats-editor-VERSION-windows-x64.zip        a folder that runs where it is unpacked
#   tavrel-stats-editor-VERSION-windows-x64-setup.exe  a per-user installer
#
#   tools/windows/build.sh          build and pack
#   tools/windows/build.sh test     also run the tests under Wine (tools/windows/test.sh)
#
# Qt and GoogleTest for Windows are built once from Debian's sources into the cache that
# tools/windows/deps.sh names; the rest takes a minute.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=tools/windows/deps.sh
source "$root/tools/windows/deps.sh"

# On top of what the cross build needs: Wine to run the build's tools and tests, NSIS for the
# installer, zip, and the fonts the zip brings, whose files and licences come from Debian.
pack_packages=(wine wine64 nsis zip fonts-lobster fonts-crosextra-carlito)
# The tests drive the editor in a virtual X server and read its pixels back.
test_packages=(xvfb xauth xdotool imagemagick)

out="$root/build/windows"
build_dir="$out/build"
version="$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
name="tavrel-stats-editor-$version-windows-x64"
stage="$out/$name"

# A Qt built for another system runs the host Qt's moc, rcc and uic; QT_HOST_PATH says where.
# ccache keeps the objects in the Windows cache, so a fresh checkout compiles little again.
configure_and_build() {
    say "building the programs and their tests in $build_dir"
    export CCACHE_DIR="$windows_cache/ccache" CCACHE_BASEDIR="$root"
    cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
        -DCMAKE_TOOLCHAIN_FILE="$root/tools/windows/mingw-toolchain.cmake" \
        -DCMAKE_PREFIX_PATH="$qt_prefix;$gtest_prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
    cmake --build "$build_dir" --parallel "$(nproc)"
}

gcc_dlls="$(dirname "$("$mingw_triplet-g++-posix" -print-file-name=libstdc++-6.dll)")"
dll_folders=("$qt_prefix/bin" "$gcc_dlls" "/usr/$mingw_triplet/lib")

# The DLLs a program or plugin imports that are not the system's own, found by walking the
# import tables, as Windows itself would load them.
copy_imports() { # FILE...
    local queue=("$@") seen=" " file dll folder
    while ((${#queue[@]} > 0)); do
        file="${queue[0]}"
        queue=("${queue[@]:1}")
        while read -r dll; do
            [[ "$seen" == *" $dll "* ]] && continue
            seen+="$dll "
            for folder in "${dll_folders[@]}"; do
                if [[ -e "$folder/$dll" ]]; then
                    cp "$folder/$dll" "$stage/$dll"
                    queue+=("$stage/$dll")
                    break
                fi
            done
        done < <("$mingw_triplet-objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
    done
}

# The folder the zip holds and the installer installs: the programs, the DLLs they load,
# Qt's Windows platform, style and picture plugins, the fonts, and the licences of all of them.
stage_folder() {
    say "putting the programs, DLLs, fonts and licences in $stage"
    rm -rf "$stage"
    mkdir -p "$stage/platforms" "$stage/styles" "$stage/imageformats" "$stage/fonts" \
        "$stage/licences"
    cp "$build_dir/bin/stats-editor.exe" "$build_dir/bin/stats-table.exe" "$stage/"
    cp "$qt_prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
    # The native look of Windows 10 and 11; without it, Qt falls back to its Fusion style.
    cp "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
    # The readers of the window's background picture and of its icon.
    cp "$qt_prefix/plugins/imageformats/qjpeg.dll" "$qt_prefix/plugins/imageformats/qico.dll" \
        "$stage/imageformats/"
    copy_imports "$stage"/*.exe "$stage"/*/*.dll
    "$mingw_triplet-strip" --strip-unneeded "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll
    # Fonts Windows lacks. Both are under the SIL Open Font License 1.1, which lets them be
    # bundled with software as long as the licence and copyright notice go with them.
    cp /usr/share/fonts/opentype/lobster/lobster.otf "$stage/fonts/LobsterTwo.otf"
    cp /usr/share/fonts/truetype/crosextra/Carlito-Regular.ttf \
        /usr/share/fonts/truetype/crosextra/Carlito-Bold.ttf "$stage/fonts/"
    cp /usr/share/doc/fonts-lobster/copyright "$stage/licences/Lobster-Two.txt"
    cp /usr/share/doc/fonts-crosextra-carlito/copyright "$stage/licences/Carlito.txt"
    cp /usr/share/doc/libqt6core6/copyright "$stage/licences/Qt.txt"
    cp /usr/share/common-licenses/LGPL-3 "$stage/licences/LGPL-3.txt"
    cp /usr/share/common-licenses/GPL-3 "$stage/licences/GPL-3.txt"
    cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licences/GCC-runtime.txt"
    cp /usr/share/doc/mingw-w64-common/copyright "$stage/licences/mingw-w64.txt"
    cp "$root/LICENSE" "$stage/licences/tavrel-stats-editor.txt"
    # Windows' own editor needs CR LF.
    sed 's/$/\r/' "$root/tools/windows/README.txt" >"$stage/README.txt"
}

pack_zip() {
    rm -f "$out/$name.zip"
    (cd "$out" && zip -q -r -9 "$name.zip" "$name")
    say "made $out/$name.zip ($(du -h "$out/$name.zip" | cut -f1))"
}

pack_installer() {
    # What the uninstaller removes: the files of the folder, then its folders, deepest first.
    local files="$out/uninstall-files.nsh"
    # shellcheck disable=SC2016 # $INSTDIR is the installer's variable, not the shell's
    (
        cd "$stage"
        find . -type f | sed 's|^\./||; s|/|\\|g; s|.*|    Delete "$INSTDIR\\&"|'
        find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|    RMDir "$INSTDIR\\&"|'
    ) >"$files"
    makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$out/$name-setup.exe" \
        -DICON="$root/app/resources/stats-editor.ico" -DFILES="$files" \
        "$root/tools/windows/installer.nsi" >/dev/null
    say "made $out/$name-setup.exe ($(du -h "$out/$name-setup.exe" | cut -f1))"
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
    configure_and_build
    stage_folder
    pack_zip
    pack_installer
    if [[ "${1:-}" == test ]]; then
        "$root/tools/windows/test.sh" "$build_dir" "$stage" "$out/$name-setup.exe"
    fi
}

main "$@"
