#!/bin/sh
# Runs every benchmark once and prints one table: figure, value, command.
#
# Usage: bench/run-all.sh [BUILD_DIR] [MIN_TIME]   (default: build 0.05)
#
# The Google Benchmark suites run with a short minimum time (MIN_TIME seconds
# per figure), the timed Python runs with small sizes, so that the whole run
# takes a minute or two (the powerline run alone takes about 30 s: it is
# paced by the powerline). Times are CPU time of the process, which a loaded
# machine disturbs least; run it when `uptime` shows a low load.
set -u
build=${1:-build}
min_time=${2:-0.05}
here=$(cd "$(dirname "$0")" && pwd)
bin="$build/bin"
out=$(mktemp -d "${TMPDIR:-/tmp}/tarvelo-bench-XXXXXX")
trap 'rm -rf "$out"' EXIT

start=$(date +%s)
for suite in xap upb model settings web vbscript pim_queue; do
    exe="$bin/tarvelo_${suite}_bench"
    if [ ! -x "$exe" ]; then
        echo "missing $exe (build with -DTARVELO_BENCH=ON)" >&2
        continue
    fi
    echo "running $suite ..." >&2
    "$exe" --benchmark_min_time="$min_time" --benchmark_format=json >"$out/$suite.json" 2>"$out/$suite.err" ||
        echo "$suite failed: $(tail -1 "$out/$suite.err")" >&2
done
# The timed runs of the real programs, with the sizes the table names.
run() {
    name=$1
    shift
    echo "running $name ..." >&2
    "$@" >"$out/$name.txt" 2>&1 || echo "$name failed: $(tail -1 "$out/$name.txt")" >&2
}
run pim_timing python3 "$here/pim_timing.py" "$build" 3
run pim_reconnect python3 "$here/pim_reconnect.py" "$build" 4
run xap_flood python3 "$here/xap_flood.py" "$build"
run web_load python3 "$here/web_load.py" "$build" 300
run vbscript_compare python3 "$here/vbscript_compare.py" "$bin/tarvelo-vbs" 1

python3 "$here/table.py" "$out" "$build" "$min_time"
echo "total run time: $(($(date +%s) - start)) s" >&2
