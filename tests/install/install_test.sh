#!/usr/bin/env bash
# Installs the build tree into a staging folder through DESTDIR and checks what it finds there.
#
#   install_test.sh layout|validate CMAKE BUILD_DIR SOURCE_DIR VERSION BINDIR DATADIR
#
# layout:   for a plain prefix and for one with a blank and a non-ASCII letter, every file lands
#           under DESTDIR where the prefix puts it, with the bytes and mode it should have, the
#           files name each other consistently, and nothing else is installed or written
#           outside DESTDIR.
# validate: desktop-file-validate passes the installed desktop entry without a word, and
#           appstreamcli passes the installed metadata and tree with nothing worse than a
#           pedantic note.
set -euo pipefail
export LC_ALL=C.UTF-8
source "$(dirname "${BASH_SOURCE[0]}")/../support/appstream.sh"

mode=$1 cmake=$2 build=$3 source=$4 version=$5 bindir=$6 datadir=$7
app_id=org.tavrel.StatsEditor
icon_sizes=(16 32 48 64 128 256)

stage="$(mktemp -d "${TMPDIR:-/tmp}/stats-install.XXXXXX")"
dest="$stage/dest"

# Every install rewrites the build tree's list of installed files. The list of a real install
# from this build is what its user removes the program by, so it is put back afterwards.
manifest="$build/install_manifest.txt"
if [[ -f "$manifest" ]]; then
    cp -p "$manifest" "$stage/manifest.saved"
fi
clean_up() {
    if [[ -f "$stage/manifest.saved" ]]; then
        mv -f "$stage/manifest.saved" "$manifest"
    else
        rm -f "$manifest"
    fi
    rm -rf "$stage"
}
trap clean_up EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# install_tree PREFIX: a fresh install of the whole build under $dest.
install_tree() {
    rm -rf "$dest"
    if ! DESTDIR="$dest" "$cmake" --install "$build" --prefix "$1" >"$stage/install.log" 2>&1; then
        cat "$stage/install.log" >&2
        echo "FAIL: cmake --install --prefix '$1' failed" >&2
        exit 1
    fi
}

# The installed path of each file, relative to the prefix, and the source it is a copy of.
declare -A sources=(
    ["$datadir/applications/$app_id.desktop"]="$source/app/desktop/$app_id.desktop"
    ["$datadir/metainfo/$app_id.metainfo.xml"]="$source/app/desktop/$app_id.metainfo.xml"
    ["$datadir/icons/hicolor/scalable/apps/$app_id.svg"]="$source/app/resources/icons/hicolor/scalable/apps/stats-editor.svg"
)
for page in stats-editor stats-table; do
    sources["$datadir/man/man1/$page.1"]="$source/debian/$page.1"
done
for size in "${icon_sizes[@]}"; do
    sources["$datadir/icons/hicolor/${size}x${size}/apps/$app_id.png"]="$source/app/resources/icons/hicolor/${size}x${size}/apps/stats-editor.png"
done
program="$bindir/stats-editor"
# The batch program for the stats table, installed beside the editor.
table_program="$bindir/stats-table"

# The input lines that are paths under FOLDER, relative to it; and the other lines. Compared
# as plain text, since a prefix may hold any character.
lines_under() {
    awk -v folder="$1/" 'index($0, folder) == 1 { print substr($0, length(folder) + 1) }'
}
lines_not_under() {
    awk -v folder="$1/" 'NF && index($0, folder) != 1'
}

# The value of KEY in the [Desktop Entry] group of a desktop file.
desktop_value() {
    sed -n "/^\[Desktop Entry\]/,/^\[/s/^$2=//p" "$1"
}

check_layout() { # PREFIX
    local prefix=$1
    local root="$dest$prefix"
    install_tree "$prefix"

    # DESTDIR is put in front of every path, so the prefix itself must stay untouched.
    if [[ -e "$prefix" ]]; then
        fail "'$prefix' was written outside DESTDIR"
    fi

    local expected actual
    expected="$(printf '%s\n' "$program" "$table_program" "${!sources[@]}" | sort)"
    actual="$(cd "$dest" && find . \( -type f -o -type l \) -printf '%P\n' | sort)"
    local relative outside
    relative="$(printf '%s\n' "$actual" | lines_under "${prefix#/}")"
    outside="$(printf '%s\n' "$actual" | lines_not_under "${prefix#/}")"
    if [[ -n "$outside" ]]; then
        fail "files installed outside the prefix '$prefix':"$'\n'"$outside"
    fi
    local missing unexpected
    missing="$(comm -23 <(printf '%s\n' "$expected") <(printf '%s\n' "$relative"))"
    unexpected="$(comm -13 <(printf '%s\n' "$expected") <(printf '%s\n' "$relative"))"
    [[ -z "$missing" ]] || fail "not installed under '$prefix':"$'\n'"$missing"
    [[ -z "$unexpected" ]] || fail "installed but not expected under '$prefix':"$'\n'"$unexpected"

    # CMake lists every file it installed, without DESTDIR; one with an absolute destination
    # of its own, outside the prefix, shows up here even where the staging folder cannot see it.
    if [[ ! -f "$manifest" ]]; then
        fail "cmake --install wrote no $manifest"
    else
        local stray
        stray="$(lines_not_under "$prefix" <"$manifest")"
        [[ -z "$stray" ]] || fail "the install wrote outside the prefix '$prefix':"$'\n'"$stray"
    fi

    local file
    for file in "${!sources[@]}"; do
        [[ -f "$root/$file" ]] || continue
        cmp -s "$root/$file" "${sources[$file]}" || fail "'$file' differs from ${sources[$file]}"
        [[ "$(stat -c %a "$root/$file")" == 644 ]] ||
            fail "'$file' has mode $(stat -c %a "$root/$file"), not 644"
    done
    local executable
    for executable in "$program" "$table_program"; do
        if [[ -f "$root/$executable" ]]; then
            [[ "$(stat -c %a "$root/$executable")" == 755 ]] ||
                fail "'$executable' has mode $(stat -c %a "$root/$executable"), not 755"
        fi
    done

    # The files find each other by name: the entry runs the program and shows the icon, the
    # metadata launches the entry and names the program.
    local entry="$root/$datadir/applications/$app_id.desktop"
    local metainfo="$root/$datadir/metainfo/$app_id.metainfo.xml"
    [[ -f "$entry" && -f "$metainfo" ]] || return 0
    local exec icon
    exec="$(desktop_value "$entry" Exec)"
    icon="$(desktop_value "$entry" Icon)"
    # %f: a file manager hands over the one image the user opened with the editor.
    [[ "$exec" == "$(basename "$program") %f" ]] || fail "Exec=$exec does not run $program %f"
    [[ "$icon" == "$app_id" ]] || fail "Icon=$icon is not the installed icon name $app_id"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        fail "the metadata does not launch $app_id.desktop"
    grep -q "<binary>$(basename "$program")</binary>" "$metainfo" ||
        fail "the metadata does not provide the binary $(basename "$program")"
    local page
    for page in stats-editor stats-table; do
        head -n 1 "$root/$datadir/man/man1/$page.1" | grep -qF " $version\"" ||
            fail "the manual page of $page is not at version $version"
    done
    # Software centres show the newest release as the version; it must be this build's.
    local newest
    newest="$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d '"' -f 2)"
    [[ "$newest" == "$version" ]] ||
        fail "the newest release in the metadata is '$newest', the project is $version"
}

# run_validator NAME PATTERN COMMAND...: the command must succeed and print no line that
# matches PATTERN, other than one that matches $allowed_note.
allowed_note='^$'
run_validator() {
    local name=$1 pattern=$2
    shift 2
    local output status=0
    output="$("$@" 2>&1)" || status=$?
    printf '%s\n' "$output"
    if ((status != 0)); then
        fail "$name exited with status $status"
    elif grep -E "$pattern" <<<"$output" | grep -Evq "$allowed_note"; then
        fail "$name reported a fault"
    fi
}

require_tool() { # TOOL PACKAGE
    if ! command -v "$1" >/dev/null; then
        echo "FAIL: $1 is not installed; install the Debian package $2 (./dev.sh test does)" >&2
        exit 1
    fi
}

check_validators() {
    require_tool desktop-file-validate desktop-file-utils
    require_tool appstreamcli appstream
    local prefix="$stage/usr"
    local root="$dest$prefix"
    install_tree "$prefix"
    # Every line it prints is a fault, its hints included: two main categories, for one, put
    # the program twice into application menus.
    run_validator desktop-file-validate '.' \
        desktop-file-validate "$root/$datadir/applications/$app_id.desktop"
    # appstreamcli passes a file with infos, but its infos are real gaps, such as a missing
    # content rating; only its pedantic notes may stay. The tree check indents its notes.
    allowed_note="$(appstream_allowed_note)"
    run_validator "appstreamcli validate" '^ *[EWI]: ' \
        appstreamcli validate --no-net --explain "$root/$datadir/metainfo/$app_id.metainfo.xml"
    # The tree check also looks for the desktop entry that the metadata launches.
    run_validator "appstreamcli validate-tree" '^ *[EWI]: ' \
        appstreamcli validate-tree --no-net --explain "$root"
    allowed_note='^$'
    check_file_type "$root"
}

# check_file_type ROOT: file managers offer the editor for the type that shared-mime-info
# gives .nds files. The desktop database that they read, built here from the installed entry
# alone, must list the entry for that type, and the metadata must name it too.
check_file_type() {
    local root=$1
    local type
    type="$(awk -F: '$3 == "*.nds" { print $2 }' /usr/share/mime/globs2)"
    [[ -n "$type" ]] || fail "shared-mime-info gives .nds files no type"
    local applications="$stage/applications"
    mkdir -p "$applications"
    cp "$root/$datadir/applications/$app_id.desktop" "$applications/"
    update-desktop-database "$applications" ||
        fail "update-desktop-database could not read the entry"
    grep -qx "$type=$app_id.desktop;" "$applications/mimeinfo.cache" ||
        fail "the desktop database does not offer $app_id.desktop for $type"
    grep -q "<mediatype>$type</mediatype>" "$root/$datadir/metainfo/$app_id.metainfo.xml" ||
        fail "the metadata does not provide the file type $type"
}

case "$mode" in
layout)
    check_layout "$stage/usr"
    check_layout "$stage/opt/tavrel stäts"
    ;;
validate)
    check_validators
    ;;
*)
    echo "usage: install_test.sh layout|validate CMAKE BUILD_DIR SOURCE_DIR VERSION BINDIR DATADIR" >&2
    exit 2
    ;;
esac

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
