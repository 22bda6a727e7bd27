#!/usr/bin/env bash
# CI on a pristine Debian, as a newcomer meets it: a fresh minbase root of SUITE (bookworm for
# Debian 12, trixie for Debian 13), a clone of the commit checked out here, and each COMMAND
# run in the clone through chroot, in turn. The .deb that `./dev.sh test --package` built is
# then installed with apt into a second pristine root, where both programs must start.
#
#   tools/ci/pristine.sh SUITE COMMAND...   e.g. tools/ci/pristine.sh trixie "./dev.sh test"
#
# It needs root (chroot and mount), debootstrap and git. The pristine root is made once with
# `debootstrap --variant=minbase SUITE` from the mirror that this machine's apt uses, whose
# sources it writes in the one-line form; it is kept, with the packages apt downloads into the
# roots and the compiler caches of the builds, in
#
#   ${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-stats-editor/SUITE-root/
#   ${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-stats-editor/SUITE-apt-archives/
#   ${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-stats-editor/SUITE-ccache/
#
# The Windows dependencies that this machine has built (tools/windows/deps.sh) are mounted
# read-only into the root; a root whose packages ask for other ones builds its own.
#
# A run only copies the root into a scratch folder under ${TMPDIR:-/var/tmp} and deletes the
# copy at its end. To start again from a newly made root (for example once the suite has moved
# on a point release), delete the three folders with `rm -rf --one-file-system FOLDER`.
set -euo pipefail

if ((EUID != 0)); then
    echo "pristine.sh: chroot and mount need root; run it as root (sudo)" >&2
    exit 1
fi

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
if (($# < 2)); then
    echo "usage: tools/ci/pristine.sh SUITE COMMAND..." >&2
    exit 2
fi
suite=$1
shift
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavrel-stats-editor"
pristine="$cache/$suite-root"
archives="$cache/$suite-apt-archives"
compiler_cache="$cache/$suite-ccache"
windows_prebuilt="$cache/windows"
clone=/src/tavrel-stats-editor

say() { echo "pristine.sh $suite: $*"; }

# The main archive this machine's apt reads from: the first repository whose release is a plain
# suite name (not -updates or -security). apt itself reads both forms of its sources, so no
# host is named here.
host_mirror() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' |
        awk '$2 !~ /-/ { print $1; exit }'
}

make_pristine_root() {
    local mirror
    mirror="$(host_mirror)"
    if [[ -z "$mirror" ]]; then
        echo "pristine.sh: found no Debian mirror in this machine's apt sources" >&2
        exit 1
    fi
    command -v debootstrap >/dev/null || {
        echo "pristine.sh: debootstrap is missing (apt-get install debootstrap)" >&2
        exit 1
    }
    say "making the pristine $suite root from $mirror in $pristine (once)"
    mkdir -p "$cache"
    # Made beside its place and moved there only once complete, so an interrupted run leaves
    # no half-made root for the next one to copy.
    rm -rf --one-file-system "$pristine.partial"
    debootstrap --variant=minbase "$suite" "$pristine.partial" "$mirror" >"$cache/debootstrap.log" 2>&1 || {
        tail -n 20 "$cache/debootstrap.log" >&2
        echo "pristine.sh: debootstrap failed; its log is $cache/debootstrap.log" >&2
        exit 1
    }
    mv "$pristine.partial" "$pristine"
}

# The scratch roots of this run, and every mount made in them, newest last.
scratch=""
mounts=()

clean_up() {
    local status=$?
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -R "${mounts[i]}" 2>/dev/null || umount -R -l "${mounts[i]}" || true
    done
    mounts=()
    if [[ -n "$scratch" && -d "$scratch" ]]; then
        # Deleting a root with the host's /dev or /sys still mounted in it would delete those
        # too, so a folder with a mount left inside is kept and named instead.
        if grep -qF " $scratch/" /proc/self/mountinfo; then
            echo "pristine.sh: mounts are left under $scratch; it was not deleted" >&2
        else
            rm -rf --one-file-system "$scratch"
        fi
    fi
    exit "$status"
}
trap clean_up EXIT
trap 'exit 130' INT TERM

# new_root NAME: makes $new_root, a copy of the pristine root in the scratch folder, with what a booted system
# has and a chroot lacks: the kernel's file systems, a machine id (D-Bus reads it) and a rule
# that no service starts inside. apt's downloads go to the cache, so a warm run fetches nothing.
new_root() {
    local root="$scratch/$1"
    new_root=$root
    cp -a "$pristine" "$root"
    mount -t proc proc "$root/proc"
    mounts+=("$root/proc")
    local fs
    for fs in dev sys; do
        mount --rbind "/$fs" "$root/$fs"
        mount --make-rslave "$root/$fs"
        mounts+=("$root/$fs")
    done
    mkdir -p "$archives"
    mount --bind "$archives" "$root/var/cache/apt/archives"
    mounts+=("$root/var/cache/apt/archives")
    od -An -tx1 -N16 /dev/urandom | tr -d ' \n' >"$root/etc/machine-id"
    echo >>"$root/etc/machine-id"
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
}

# in_root ROOT DIR COMMAND...: runs COMMAND in DIR inside ROOT as root, with the plain
# environment of a login there. A desktop session has a UTF-8 locale; C.UTF-8 is the one that
# needs no locales package.
in_root() {
    local root=$1 dir=$2
    shift 2
    env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        chroot "$root" /bin/sh -c 'cd "$1" && shift && exec "$@"' sh "$dir" "$@"
}

timings=()
# step NAME COMMAND...: runs and times one step; the summary lists every step's minutes.
step() {
    local name=$1
    shift
    say "$name"
    local start=$SECONDS
    "$@"
    timings+=("$(awk -v name="$name" -v s=$((SECONDS - start)) 'BEGIN { printf "%-44s %5.1f min", name, s / 60 }')")
}

start=$SECONDS
if [[ ! -d "$pristine" ]]; then
    step "debootstrap of the pristine root" make_pristine_root
fi
scratch="$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-$suite.XXXXXX")"

new_root build
build_root=$new_root
git clone -q "$repo" "$build_root$clone"
say "cloned $(git -C "$repo" rev-parse --short HEAD) into $build_root$clone"

# CI's own speed-up, which a newcomer's machine has no need of: the builds go through ccache
# with a cache kept beside the root, so a warm run compiles little. CMake takes the launcher
# from the environment when it configures a folder.
with_ccache() {
    in_root "$build_root" / sh -c 'apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ccache' \
        >/dev/null
    bind_into "$compiler_cache" /var/cache/ccache
    bind_into "$compiler_cache/windows" /root/.cache/tavrel-stats-editor/windows/ccache
    if [[ -d "$windows_prebuilt" ]]; then
        bind_into "$windows_prebuilt" /var/cache/tavrel-windows ro
    fi
}
bind_into() { # HOST_FOLDER ROOT_FOLDER [ro]
    mkdir -p "$1" "$build_root$2"
    mount --bind "$1" "$build_root$2"
    mounts+=("$build_root$2")
    if [[ "${3:-}" == ro ]]; then
        mount -o remount,bind,ro "$build_root$2"
    fi
}
step "ccache for the builds" with_ccache
ccache_env=(env CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR=/var/cache/ccache
    CCACHE_BASEDIR=/ CCACHE_MAXSIZE=2G STATS_WINDOWS_PREBUILT=/var/cache/tavrel-windows
    STATS_PACKAGE_KEEP=/tmp/deb)
mkdir -p "$build_root/tmp/deb"
# No command may change apt's sources: fetching Debian's sources uses a private configuration.
apt_configuration() {
    (cd "$build_root/etc/apt" && find sources.list* -type f -exec sha256sum {} + | sort)
}
apt_before="$(apt_configuration)"
for command in "$@"; do
    step "$command" in_root "$build_root" "$clone" "${ccache_env[@]}" sh -c "$command"
    [[ "$(apt_configuration)" == "$apt_before" ]] || {
        echo "pristine.sh: \"$command\" changed apt's sources in /etc/apt" >&2
        exit 1
    }
done

# The package as a user gets it: apt installs it with the dependencies that its libraries need
# into a root that has seen no build, and both programs start.
install_check() {
    new_root install
    local root=$new_root
    cp "$build_root"/tmp/deb/*.deb "$root/tmp/"
    in_root "$root" /tmp sh -c '
        set -e
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ./*.deb
        stats-table --help >/dev/null
        QT_QPA_PLATFORM=offscreen stats-editor --version'
}
if compgen -G "$build_root/tmp/deb/*.deb" >/dev/null; then
    step "apt install of the .deb in a pristine root" install_check
fi

say "done in $(awk -v s=$((SECONDS - start)) 'BEGIN { printf "%.1f", s / 60 }') min; the steps:"
printf '  %s\n' "${timings[@]}"
