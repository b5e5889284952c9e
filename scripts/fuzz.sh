#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# its seeds in fuzz/corpus/<target>. Fails when any target crashes, traps,
# leaks or hangs; the input is then under <build>/fuzz-runs/<target>/, ready
# to be copied to fuzz/regressions/<target>/ once the fault is fixed.
#
#   FUZZ_SECONDS  time per target (default 60)
#   FUZZ_TARGETS  names to run, e.g. "upstart xap" (default: every fuzz/*_fuzz.cpp)
#   FUZZ_BUILD    build folder (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
build="${FUZZ_BUILD:-build-fuzz}"
if [ -n "${FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<< "$FUZZ_TARGETS"
else
  targets=()
  for f in fuzz/*_fuzz.cpp; do t="$(basename "$f" .cpp)"; targets+=("${t%_fuzz}"); done
fi

echo "== building $build (clang, libFuzzer)"
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARVELO_FUZZ=ON -DTARVELO_TESTS=OFF -DTARVELO_BENCH=OFF >/dev/null
names=()
for t in "${targets[@]}"; do names+=("tarvelo_${t}_fuzz"); done
cmake --build "$build" -j"${JOBS:-2}" --target "${names[@]}"

# The settings target saves a file per input: on a memory file system that is
# six times faster than on disk.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

# The script target's seeds are the language corpus the tests already keep.
seed_dirs() {
  if [ "$1" = vbscript ]; then echo tests/vbscript; else echo "fuzz/corpus/$1"; fi
}

status=0
summary=()
for t in "${targets[@]}"; do
  work="$build/fuzz-runs/$t"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/crashes"
  args=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$work/crashes/")
  [ -f "fuzz/$t.dict" ] && args+=(-dict="fuzz/$t.dict")
  echo "== fuzzing $t for ${seconds}s"
  rc=0
  # New inputs go to the scratch corpus; the seeds stay as they are.
  ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$build/bin/tarvelo_${t}_fuzz" "${args[@]}" "$work/corpus" $(seed_dirs "$t") > "$work/log" 2>&1 || rc=$?
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n1)"
  per_s="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -n1)"
  cov="$(grep -o 'cov: [0-9]*' "$work/log" | tail -n1 || true)"
  if [ "$rc" -ne 0 ]; then
    status=1
    summary+=("$t: FAILED (exit $rc) after ${execs:-?} executions")
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$work/log" | head -n 20 || true
    tail -n 40 "$work/log"
  else
    summary+=("$t: ${execs:-?} executions (${per_s:-?}/s, ${cov:-cov: ?})")
  fi
done

echo "== fuzz summary (${seconds}s per target)"
printf '  %s\n' "${summary[@]}"
exit $status
