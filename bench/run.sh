#!/usr/bin/env bash
# Runs every benchmark of a build and prints one table: each figure with its reference, their
# ratio, the target and whether it holds. Figures are medians of repeated runs, and each is
# measured in the same run as its reference, interleaved with it, because the machine is
# shared and noisy.
#
#   bench/run.sh BUILD_DIR          the full run (a few minutes); ./dev.sh bench does this
#   bench/run.sh --smoke BUILD_DIR  one short pass through everything, for the test suite
#
# Needs the benchmarks built in BUILD_DIR (release mode for figures worth reading) and Xvfb
# for the whole-program figures; the X server is started here and stopped at the end.
set -euo pipefail

smoke=0
if [[ "${1:-}" == "--smoke" ]]; then
    smoke=1
    shift
fi
if (($# != 1)); then
    echo "usage: bench/run.sh [--smoke] BUILD_DIR" >&2
    exit 2
fi
bin="$(cd "$1" && pwd)/bin"
for program in bench-core bench-window bench-startup bench-minimal-program bench-table stats-editor \
    stats-table make-sample-image; do
    if [[ ! -x "$bin/$program" ]]; then
        echo "bench/run.sh: $bin/$program is missing; build the project first" >&2
        exit 1
    fi
done

if ((smoke)); then
    core_flags=(--benchmark_min_time=0.001)
    window_flags=(--benchmark_min_time=0.001)
    process_runs=1
    hyperfine_runs=(--warmup 0 --runs 1)
else
    # Google Benchmark shuffles the repetitions of all benchmarks of a binary, so a figure and
    # its reference take turns; the median of the repetitions stands for each.
    repeated=(--benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true)
    # Many short repetitions for the system calls, whose figures are microseconds: a burst
    # of another process's work then spoils a few repetitions of both sides, not one side.
    core_flags=("${repeated[@]}" --benchmark_repetitions=61 --benchmark_min_time=0.02)
    window_flags=("${repeated[@]}" --benchmark_repetitions=15 --benchmark_min_time=0.2)
    process_runs=21
    hyperfine_runs=(--warmup 10 --runs 200)
fi
if ! command -v hyperfine >/dev/null; then
    echo "bench/run.sh: hyperfine is missing (Debian: hyperfine); ./dev.sh installs it" >&2
    exit 1
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/stats-bench-XXXXXX")"
xvfb_pid=""
cleanup() {
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# The X server picks a free display itself and writes its number once it accepts clients.
# A black screen lets the probe see the first frame a program draws.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -br -nolisten tcp -noreset \
        3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    local waited
    for ((waited = 0; waited < 100; waited++)); do
        if [[ -s "$work/display" ]]; then
            display=":$(tr -d '[:space:]' <"$work/display")"
            return
        fi
        if ! kill -0 "$xvfb_pid" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    echo "bench/run.sh: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
}

figures="$work/figures"
: >"$figures"
status=0

echo "bench: loads, saves, table exports and imports on 128 and 512 MiB images" >&2
"$bin/bench-core" "${core_flags[@]}" >>"$figures" || status=1

# Whole stats-table processes, as a user waits for them, each the median of its runs. The
# reference is the same program doing nothing but print its usage.
echo "bench: whole stats-table processes under hyperfine" >&2
old="$work/old.nds"
new="$work/new.nds"
"$bin/make-sample-image" "$old" >/dev/null
"$bin/make-sample-image" "$new" >/dev/null
"$bin/stats-table" export "$old" "$work/unchanged.csv"
# One more hp in every 32nd entry of the new image, given as a file of those cells alone.
awk -F, 'NR == 1 { print; next } (NR - 2) % 32 == 0 {
    printf "%s,%s,%s,%d,,,,,,,,,,,,,,\n", $1, $2, $3, ($4 + 1) % 256 }' \
    "$work/unchanged.csv" >"$work/changes.csv"
"$bin/stats-table" import "$new" "$work/changes.csv" >/dev/null
"$bin/stats-table" names "$work/pack" >/dev/null
table() { printf "'%s' %s" "$bin/stats-table" "$*"; }
hyperfine -N --style none "${hyperfine_runs[@]}" --export-csv "$work/processes.csv" \
    -n process-table/help "$(table --help)" \
    -n process-table/export "$(table export "'$old'")" \
    -n process-table/export-names "$(table export "'$old'" --names)" \
    -n process-table/export-pack "$(table export "'$old'" --names --name-pack "'$work/pack'")" \
    -n process-table/import "$(table import "'$old'" "'$work/unchanged.csv'")" >/dev/null
# diff exits with 1 when the images differ, as they do here.
hyperfine -N --style none "${hyperfine_runs[@]}" --ignore-failure \
    --export-csv "$work/diff-process.csv" \
    -n process-table/diff "$(table diff "'$old'" "'$new'")" >/dev/null
# The median is the fourth column; the command's name, the first, has no comma.
awk -F, 'FNR > 1 { print $1, $4, "s" }' "$work/processes.csv" "$work/diff-process.csv" >>"$figures"

echo "bench: the window and key-press loads, offscreen" >&2
QT_QPA_PLATFORM=offscreen "$bin/bench-window" "${window_flags[@]}" >>"$figures" || status=1

echo "bench: whole programs under Xvfb" >&2
start_xvfb
DISPLAY="$display" "$bin/bench-startup" "$process_runs" \
    "editor=$bin/stats-editor" "minimal=$bin/bench-minimal-program" >>"$figures" || status=1

echo >&2
"$bin/bench-table" <"$figures" || status=1
exit "$status"
