#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a plain build
# and once with AddressSanitizer and UndefinedBehaviorSanitizer; then runs
# every fuzz target for a bounded time (scripts/fuzz.sh; FUZZ_SECONDS, default
# 60 per target, 0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs="${JOBS:-2}"
status=0
run_suite() {
  local dir="$1"; shift
  echo "== building $dir"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "== testing $dir"
  (cd "$dir" && ctest -j"$jobs" --output-on-failure --timeout 600) || status=1
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTARVELO_SANITIZE=ON -DTARVELO_BENCH=OFF
if [ "${FUZZ_SECONDS:-60}" != 0 ]; then
  ./scripts/fuzz.sh || status=1
fi
exit $status
