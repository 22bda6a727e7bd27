#!/bin/sh
# Runs a program of the Windows build under Wine: the build's tools at build time, and the
# tests, as CMake's cross-compiling emulator. The Wine prefix lives in the cache beside the
# cross-built Qt, so that it is made once; the DLLs come from mingw and that Qt.
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-stats-editor/windows"
export WINEPREFIX="${WINEPREFIX:-$cache/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: nothing here needs them, and without this Wine offers to download them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# A program of the zip or the installer runs with --packed: it must find every DLL in its own
# folder, as on a Windows machine, so the build's DLL folders are not on its path.
if [ "${1:-}" = --packed ]; then
    shift
    unset WINEPATH
    exec wine "$@"
fi
# Wine finds DLLs along WINEPATH, in Windows notation; Z: is the Unix root.
windows_path() {
    # shellcheck disable=SC1003 # a backslash, for tr
    printf 'Z:%s' "$1" | tr '/' '\\'
}
gcc_dlls="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
WINEPATH="$(windows_path "$gcc_dlls");$(windows_path /usr/x86_64-w64-mingw32/lib)"
WINEPATH="$WINEPATH;$(windows_path "$cache/qt-6.4.2-mingw64/bin")"
export WINEPATH
exec wine "$@"
