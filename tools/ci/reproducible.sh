#!/usr/bin/env bash
# Two builds of the commit checked out here, from two clones in two differently named folders,
# with no compiler cache: `./dev.sh release` in each must give the same SHA-256 for every file
# it publishes (the .deb, the zip and setup.exe). Where they differ, diffoscope's summary says
# how.
#
#   tools/ci/reproducible.sh
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-reproducible.XXXXXX")"
trap 'rm -rf "$work"' EXIT

say() { echo "reproducible: $*"; }

for clone in "$work/first" "$work/second/a-longer-folder"; do
    git clone -q "$repo" "$clone"
    say "./dev.sh release in $clone (log: $clone.log)"
    # The suite ran in CI already; what is compared here is only the bytes the builds give.
    (cd "$clone" && CCACHE_DISABLE=1 DEB_BUILD_OPTIONS=nocheck ./dev.sh release) >"$clone.log" 2>&1 || {
        tail -n 40 "$clone.log" >&2
        say "the release build in $clone failed" >&2
        exit 1
    }
done
first="$work/first/build/release" second="$work/second/a-longer-folder/build/release"
if cmp -s "$first/SHA256SUMS" "$second/SHA256SUMS"; then
    say "both builds gave the same bytes:"
    cat "$first/SHA256SUMS"
    exit 0
fi
diff "$first/SHA256SUMS" "$second/SHA256SUMS" || true
command -v diffoscope >/dev/null || apt-get install -y -qq --no-install-recommends diffoscope-minimal
while read -r _ file; do
    cmp -s "$first/$file" "$second/$file" && continue
    say "$file differs:"
    diffoscope --text - --max-report-size 200000 "$first/$file" "$second/$file" | head -n 80 || true
done <"$first/SHA256SUMS"
exit 1
