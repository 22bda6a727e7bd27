#!/usr/bin/env bash
# The editor under Wine in a virtual X server at 96 dpi, driven with xdotool and checked
# against the image's bytes: open a sample image whose name no single-byte code page holds,
# click the first entry of List 1, type a new hp and save with Ctrl+S, cancel the open dialog
# of Ctrl+O, end with Ctrl+Q, and find nothing written into the registry. An image of another
# game ends the program with "Unsupported Rom" and status 1, a mistyped path with the system's
# reason. Leaves a screenshot of the loaded entry in build/windows/. Then reports the time from
# start to window of the editor beside that of a minimal Qt program
# (BUILD_DIR/bin/minimal-window.exe) started the same way.
#
#   tools/windows/window_test.sh STAGE WORK_DIR BUILD_DIR
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
stage="$1"
work="$2"
build_dir="$3"
wine_run="$root/tools/windows/wine-run.sh"
wine_prefix="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-stats-editor/windows/wine}"
linux="$root/build/windows/linux/bin"
# Where the table starts and how long a record is; hp is a record's first byte.
table_offset=$((0x694E954))
screen=1024x768x24
# The image is named outside every single-byte code page, so that its name reaches the file
# calls whole only in UTF-8 or UTF-16.
image=$'\xce\xbf\xce\xbd\xce\xbf\xce\xbc\xce\xb1-\xc3\xa9.nds'

say() { echo "windows window test: $*"; }
fail() {
    echo "windows window test: FAILED: $*" >&2
    exit 1
}

# The X window of the program's main window, once it is shown.
window_of() { # TITLE
    local id=""
    for _ in $(seq 100); do
        id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)"
        [[ -n "$id" ]] && break
        sleep 0.2
    done
    [[ -n "$id" ]] || fail "no window named \"$1\" appeared"
    echo "$id"
}

byte_at() { # FILE OFFSET
    od -A n -t u1 -j "$2" -N 1 "$1" | tr -d ' '
}

scenario() {
    cd "$work"
    # What an earlier build left in the test's own Wine prefix goes first.
    WINEPREFIX="$wine_prefix" wine reg delete 'HKCU\Software\QtProject' /f >/dev/null 2>&1 || true
    rm -f "$image" other.nds fresh.nds
    "$linux/make-sample-image" "$image" >/dev/null
    "$wine_run" --packed "$stage/stats-editor.exe" "$image" &
    local editor=$!
    local window
    window="$(window_of "Tavrel")"
    # Window-relative pixels at 96 dpi: the layout's twips divided by 15. The first row of
    # List1, then the hp box.
    xdotool windowfocus --sync "$window"
    xdotool mousemove --window "$window" 40 126 click 1
    sleep 1
    import -window root "$root/build/windows/editor-under-wine.png"
    # The background picture, a JPEG that Qt reads through a plugin the zip must bring, shows at
    # the window's corner: yellow, where a missing picture leaves the style's grey.
    local corner
    corner="$(import -window "$window" -crop 1x1+3+3 +repage -depth 8 txt:- |
        grep -o '#[0-9A-Fa-f]\{6\}' | head -n 1)"
    (( 16#${corner:1:2} > 16#${corner:5:2} + 64 )) ||
        fail "the window's corner is $corner, not the yellow of its background picture"
    xdotool mousemove --window "$window" 200 153 click --repeat 3 1
    xdotool key --window "$window" ctrl+a
    xdotool type --window "$window" 123
    xdotool key --window "$window" ctrl+s
    sleep 1
    [[ "$(byte_at "$image" "$table_offset")" == 123 ]] ||
        fail "hp of the first entry is $(byte_at "$image" "$table_offset") in the image, not 123"
    # That byte and no other: the image against a fresh sample.
    "$linux/make-sample-image" fresh.nds >/dev/null
    [[ "$(cmp -l fresh.nds "$image" | wc -l)" == 1 ]] || fail "the save wrote other bytes too"
    # Ctrl+O shows the open dialog; cancelled, it leaves the image open. Neither it nor anything
    # else writes settings into the registry, where Qt keeps its file dialog's.
    xdotool key --window "$window" ctrl+o
    local dialog
    dialog="$(window_of "Open Rom")"
    xdotool windowfocus --sync "$dialog"
    xdotool key --window "$dialog" Escape
    sleep 1
    # With nothing unsaved, Ctrl+Q ends the editor at once, with status 0.
    xdotool windowfocus --sync "$window"
    xdotool key --window "$window" ctrl+q
    local status=0
    wait "$editor" || status=$?
    ((status == 0)) || fail "Ctrl+Q ended the editor with status $status, not 0"
    if WINEPREFIX="$wine_prefix" wine reg query 'HKCU\Software\QtProject' >/dev/null 2>&1; then
        fail "the editor wrote settings into the registry (HKCU\Software\QtProject)"
    fi

    # The same image with another game's code: refused, and the program ends with status 1.
    "$linux/make-sample-image" other.nds >/dev/null
    printf 'ABCD' | dd of=other.nds bs=1 seek=12 conv=notrunc status=none
    "$wine_run" --packed "$stage/stats-editor.exe" other.nds &
    local refused=$!
    window="$(window_of "Tavrel")"
    xdotool windowfocus --sync "$window"
    xdotool key --window "$window" Return
    status=0
    wait "$refused" || status=$?
    ((status == 1)) || fail "an image of another game ended the editor with status $status, not 1"

    # A mistyped path is told on standard error, as on Linux, before any window shows.
    status=0
    "$wine_run" --packed "$stage/stats-editor.exe" tpyo.nds 2>mistyped.txt || status=$?
    ((status == 1)) || fail "a mistyped path ended the editor with status $status, not 1"
    grep -q '^stats-editor: tpyo.nds: ' mistyped.txt ||
        fail "a mistyped path was told as \"$(cat mistyped.txt)\""
    # Started as from the desktop, with no console, it shows the same words in a box.
    "$wine_run" --packed start /wait /unix "$stage/stats-editor.exe" tpyo.nds &
    local boxed=$!
    window="$(window_of "Tavrel")"
    xdotool windowfocus --sync "$window"
    xdotool key --window "$window" Return
    status=0
    wait "$boxed" || status=$?
    ((status == 1)) || fail "a mistyped path, with no console, ended the editor with status $status"
    cd - >/dev/null
}

# Seconds from the start of a program of the folder to its window, under Wine.
seconds_to_window() { # TITLE EXE [ARG...]
    local title=$1 start
    shift
    start="$(date +%s%N)"
    "$wine_run" --packed "$@" &
    local program=$!
    local tries=600
    until xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 || ((--tries == 0)); do
        sleep 0.05
    done
    ((tries > 0)) || fail "no window named \"$title\" appeared"
    awk -v ns=$(($(date +%s%N) - start)) 'BEGIN { printf "%.2f", ns / 1e9 }'
    kill "$program" 2>/dev/null
    wait "$program" 2>/dev/null || true
}

# The editor's start beside that of the smallest Qt program, each started twice in a row; a
# figure for the report, not a test.
startup_times() {
    cp "$build_dir/bin/minimal-window.exe" "$stage/"
    local editor=() minimal=()
    for _ in 1 2; do
        editor+=("$(seconds_to_window Tavrel "$stage/stats-editor.exe" "$work/$image")")
        minimal+=("$(seconds_to_window "Minimal Qt" "$stage/minimal-window.exe")")
    done
    rm "$stage/minimal-window.exe"
    say "start to window under Wine: the editor ${editor[*]} s, a minimal Qt program ${minimal[*]} s"
}

main() {
    say "the editor in Xvfb"
    export DISPLAY=:93
    Xvfb "$DISPLAY" -screen 0 "$screen" -dpi 96 -nolisten tcp &
    xvfb=$!
    # Wine's own processes of the run go before the X server they draw on.
    trap 'WINEPREFIX="$wine_prefix" wineserver -k 2>/dev/null; kill "$xvfb" 2>/dev/null || true' EXIT
    sleep 1
    scenario
    startup_times
    say "passed"
}

main
