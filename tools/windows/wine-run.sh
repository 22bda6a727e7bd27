#!/bin/sh
# Runs a program of the Windows build under Wine: the build's tools at build time, and the
# tests, as CMake's cross-compiling emulator. The Wine prefix lives in the cache beside the
# cross-built Qt, so that it is made once.
#
#   wine-run.sh --dlls DIR:DIR... PROGRAM [ARG...]   with these folders on the DLL path
#   wine-run.sh --packed PROGRAM [ARG...]            a program of the zip or the installer: it
#                                                    must find every DLL in its own folder, as
#                                                    on a Windows machine
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-stats-editor/windows"
export WINEPREFIX="${WINEPREFIX:-$cache/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: nothing here needs them, and without this Wine offers to download them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset WINEPATH
case "${1:-}" in
--packed) shift ;;
--dlls)
    # Wine finds DLLs along WINEPATH, in Windows notation; Z: is the Unix root.
    # shellcheck disable=SC1003 # a backslash, for tr
    WINEPATH="$(printf '%s' "$2" | sed 's|:/|;Z:/|g; s|^|Z:|' | tr '/' '\\')"
    export WINEPATH
    shift 2
    ;;
esac
exec wine "$@"
