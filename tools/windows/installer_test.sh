#!/usr/bin/env bash
# The installer under Wine, in a Wine prefix of its own: a silent install, the "Open with"
# entry for .nds files, a start of the installed stats-table, and a silent uninstall that
# leaves no file, folder, shortcut or registry key behind. Then, with an installed editor
# running, an upgrade and an uninstall that both refuse with status 2 and change no file, and
# once it is closed an upgrade over the installed version.
#
#   tools/windows/installer_test.sh SETUP_EXE
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
setup="$1"
prefix="$(mktemp -d)"
trap 'wineserver -k 2>/dev/null || true; kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix"
wine_run="$root/tools/windows/wine-run.sh"

say() { echo "windows installer test: $*"; }
fail() {
    echo "windows installer test: FAILED: $*" >&2
    exit 1
}

# The Unix path of a folder Wine names by its Windows path.
unix_path() { # WINDOWS_PATH
    "$wine_run" winepath -u "$1" 2>/dev/null
}

# An install into a folder of the user's choice; with its editor running, an upgrade and an
# uninstall refuse and change nothing; once it is closed, an upgrade gives the same files.
while_running() {
    say "the installer and the uninstaller while the installed editor runs"
    # A folder without blanks: the uninstaller's _?= must reach it unquoted.
    local folder="$prefix/drive_c/tavrel"
    "$wine_run" --packed "$setup" /S '/D=C:\tavrel' || fail "the install into C:\\tavrel failed"
    export DISPLAY=:94
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp &
    xvfb=$!
    sleep 1
    "$wine_run" --packed "$folder/stats-editor.exe" &
    local editor=$!
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name Tavrel >/dev/null 2>&1 && break
        sleep 0.2
    done
    local before status=0
    before="$(cd "$folder" && find . -type f -exec sha256sum {} + | sort)"
    "$wine_run" --packed "$setup" /S 2>"$prefix/setup.err" || status=$?
    ((status == 2)) || fail "an upgrade over the running editor ended with status $status, not 2"
    grep -q 'stats-editor.exe is running' "$prefix/setup.err" ||
        fail "the upgrade did not say why it stopped: $(cat "$prefix/setup.err")"
    # In place (_?=), the uninstaller's status is its own; otherwise its copy runs on alone.
    status=0
    "$wine_run" --packed "$folder/uninstall.exe" /S '_?=C:\tavrel' 2>/dev/null || status=$?
    ((status == 2)) || fail "an uninstall with the editor running ended with status $status, not 2"
    [[ "$(cd "$folder" && find . -type f -exec sha256sum {} + | sort)" == "$before" ]] ||
        fail "the refused upgrade or uninstall changed the installed files"
    kill "$editor" 2>/dev/null
    wait "$editor" 2>/dev/null || true

    say "an upgrade over the installed version"
    "$wine_run" --packed "$setup" /S || fail "the upgrade failed"
    [[ "$(cd "$folder" && find . -type f -exec sha256sum {} + | sort)" == "$before" ]] ||
        fail "the upgrade left other files than a fresh install"
}

main() {
    say "silent install"
    "$wine_run" wineboot -i >/dev/null 2>&1
    "$wine_run" --packed "$setup" /S
    local folder
    # shellcheck disable=SC1003 # Windows paths end folders in a backslash
    folder="$(unix_path 'C:\users\'"$(id -un)"'\AppData\Local\Programs\Tavrel Stats Editor')"
    [[ -e "$folder/stats-editor.exe" && -e "$folder/uninstall.exe" ]] ||
        fail "nothing installed in $folder"
    local programs
    # shellcheck disable=SC1003
    programs="$(unix_path 'C:\users\'"$(id -un)"'\AppData\Roaming\Microsoft\Windows\Start Menu\Programs')"
    [[ -e "$programs/Tavrel Stats Editor.lnk" ]] || fail "no Start menu entry"
    "$wine_run" reg query 'HKCU\Software\Classes\.nds\OpenWithProgids' | grep -q TavrelStatsEditor ||
        fail "no \"Open with\" entry for .nds"
    "$wine_run" reg query 'HKCU\Software\Classes\TavrelStatsEditor.Image\shell\open\command' |
        grep -q 'stats-editor.exe' || fail "the \"Open with\" entry does not start the editor"

    say "a start of the installed programs"
    "$wine_run" --packed "$folder/stats-table.exe" --help | grep -q 'stats-table export' ||
        fail "the installed stats-table does not start"

    say "silent uninstall"
    "$wine_run" --packed "$folder/uninstall.exe" /S
    # The uninstaller copies itself away and returns at once; its copy does the work.
    for _ in $(seq 50); do
        [[ -e "$folder" ]] || break
        sleep 0.2
    done
    [[ ! -e "$folder" ]] || fail "the uninstall left $(find "$folder" | head -n 5)"
    [[ ! -e "$programs/Tavrel Stats Editor.lnk" ]] || fail "the uninstall left the Start menu entry"
    if "$wine_run" reg query 'HKCU\Software\Classes\TavrelStatsEditor.Image' >/dev/null 2>&1 ||
        "$wine_run" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TavrelStatsEditor' \
            >/dev/null 2>&1; then
        fail "the uninstall left registry keys"
    fi
    while_running
    say "passed"
}

main
