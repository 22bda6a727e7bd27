#!/usr/bin/env bash
# The Debian package, built by ./dev.sh package from the tree as it is now into a scratch folder,
# and checked the way a maintainer and a user meet it:
#   - the build leaves the checkout as it was;
#   - debian/changelog and the .deb carry the project's version;
#   - lintian reports no error and no warning, on the source package and the binary ones;
#   - the .deb holds exactly what CMake's install() put in it and Debian's documents, all under
#     /usr;
#   - apt finds every dependency on this machine (a simulation: nothing is installed);
#   - dpkg installs it into a scratch root with a database of its own, and the validators pass
#     the installed desktop entry and metadata with no hint, warning or error.
#
#   package_test.sh SOURCE_DIR VERSION
set -euo pipefail
export LC_ALL=C.UTF-8
source "$(dirname "${BASH_SOURCE[0]}")/../support/appstream.sh"

source=$1 version=$2
name=tavrel-stats-editor
app_id=org.tavrel.StatsEditor

stage="$(mktemp -d "${TMPDIR:-/tmp}/stats-package.XXXXXX")"
trap 'rm -rf "$stage"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

for tool in git dpkg-buildpackage lintian desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is missing; ./dev.sh test --package installs what the test needs" >&2
        exit 1
    fi
done

changelog_version="$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)"
[[ "$changelog_version" == "$version" ]] ||
    fail "debian/changelog is at $changelog_version, the project at $version"

# The host's own record of the package, which installing into the scratch root must not change.
host_record() { dpkg-query -W -f '${Status} ${Version}\n' "$name" 2>&1 || true; }
host_before="$(host_record)"
tree_before="$(git -C "$source" status --porcelain --untracked-files=all)"

if ! "$source/dev.sh" package "$stage/out" >"$stage/package.log" 2>&1; then
    cat "$stage/package.log" >&2
    echo "FAIL: ./dev.sh package failed" >&2
    exit 1
fi
[[ "$(git -C "$source" status --porcelain --untracked-files=all)" == "$tree_before" ]] ||
    fail "./dev.sh package changed the checkout: $(git -C "$source" status --short)"

debs=("$stage/out"/*.deb)
if ((${#debs[@]} != 1)) || [[ ! -f "${debs[0]}" ]]; then
    echo "FAIL: expected one .deb, found: ${debs[*]}" >&2
    exit 1
fi
deb=${debs[0]}
# CI installs the package that passed here into a pristine root of the same release.
if [[ -n "${STATS_PACKAGE_KEEP:-}" ]]; then
    cp "$deb" "$STATS_PACKAGE_KEEP/"
fi
[[ "$(dpkg-deb -f "$deb" Package)" == "$name" ]] || fail "the package is not named $name"
[[ "$(dpkg-deb -f "$deb" Version)" == "$version" ]] ||
    fail "the package is at version $(dpkg-deb -f "$deb" Version), the project at $version"

# The changes file names the source package and every binary one.
lintian_output="$(lintian --display-info "$stage/out/package"/*.changes 2>&1)" || true
printf '%s\n' "$lintian_output"
if grep -Eq '^[EW]: ' <<<"$lintian_output"; then
    fail "lintian reported an error or a warning"
fi

# Every path in the package, folders too, without the leading "./".
contents="$(dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./||; s|/$||' | sed '/^$/d')"
if grep -Ev '^usr(/|$)' <<<"$contents"; then
    fail "the paths above are outside /usr"
fi
if grep -E '^usr/local(/|$)' <<<"$contents"; then
    fail "the paths above are under /usr/local"
fi
# What CMake's install() put into the package (its manifest names the files without the
# staging folder), with the manual pages compressed as debhelper does, and the documents
# Debian adds.
manifest=("$stage/out/package/$name-$version"/obj-*/install_manifest.txt)
[[ -f "${manifest[0]}" ]] || fail "the package build left no install manifest"
mapfile -t expected < <(sed 's|^/||; s|^\(usr/share/man/.*\.[1-9]\)$|\1.gz|' \
    "${manifest[0]}")
expected+=(
    "usr/share/doc/$name/copyright"
    "usr/share/doc/$name/changelog.gz"
    "usr/share/doc/$name/README.md.gz"
)
files="$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort)"
missing="$(comm -23 <(printf '%s\n' "${expected[@]}" | sort) <(printf '%s\n' "$files"))"
unexpected="$(comm -13 <(printf '%s\n' "${expected[@]}" | sort) <(printf '%s\n' "$files"))"
[[ -z "$missing" ]] || fail "not in the package:"$'\n'"$missing"
[[ -z "$unexpected" ]] || fail "in the package but not expected:"$'\n'"$unexpected"

# apt resolves the dependencies from what this machine has installed or knows of, without the
# network; a misspelt or missing package name fails here.
if ! apt-get install --simulate --no-install-recommends -q "$deb" >"$stage/apt.log" 2>&1; then
    cat "$stage/apt.log" >&2
    fail "apt cannot install the package with its dependencies"
fi

# A scratch root with an empty database of its own: dpkg unpacks and configures the package
# there. Its dependencies are the host's, so they are not looked for in the scratch root.
root="$stage/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
# dpkg looks for ldconfig and start-stop-daemon on the PATH, which for an ordinary user on
# Debian has no sbin folder.
if ! PATH="/usr/local/sbin:/usr/sbin:/sbin:$PATH" \
    dpkg --root="$root" --force-depends --force-not-root --log=/dev/null -i "$deb" \
    >"$stage/dpkg.log" 2>&1; then
    cat "$stage/dpkg.log" >&2
    fail "dpkg could not install the package into a scratch root"
fi
status="$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f '${Status}' "$name" 2>&1 || true)"
[[ "$status" == "install ok installed" ]] || fail "in the scratch root the package is '$status'"
[[ "$(host_record)" == "$host_before" ]] || fail "the machine's own record of $name changed"

# desktop-file-validate prints nothing for an entry without a hint, a warning or an error.
entry="$root/usr/share/applications/$app_id.desktop"
output="$(desktop-file-validate "$entry" 2>&1)" || fail "desktop-file-validate failed"
if [[ -n "$output" ]]; then
    printf '%s\n' "$output"
    fail "desktop-file-validate reported a fault in the installed entry"
fi
# appstreamcli's infos are real gaps too; only its pedantic notes may stay. The tree check
# indents its notes.
allowed_note="$(appstream_allowed_note)"
check_appstream() { # validate FILE | validate-tree ROOT
    local output
    output="$(appstreamcli "$1" --no-net --explain "$2" 2>&1)" || fail "appstreamcli $1 failed"
    printf '%s\n' "$output"
    if grep -E '^ *[EWI]: ' <<<"$output" | grep -Evq "$allowed_note"; then
        fail "appstreamcli $1 reported a fault"
    fi
}
check_appstream validate "$root/usr/share/metainfo/$app_id.metainfo.xml"
# The tree check also finds the desktop entry that the metadata launches.
check_appstream validate-tree "$root"

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
