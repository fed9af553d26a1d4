#!/usr/bin/env bash
# Sets up, builds, and runs the whole test suite three times: as shipped
# (the self-contained Release build, whose installed bundle is also run in a
# bare root), under AddressSanitizer with UndefinedBehaviorSanitizer, and
# under ThreadSanitizer (the run, the collector, the decoders and the driver
# are concurrent); the sanitizer builds link Debian's shared libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
run_suite() {  # build-dir build-type sanitizers
  local dir=$1 type=$2 sanitize=$3
  echo "== test suite${sanitize:+ under -fsanitize=$sanitize}"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DVORN_SANITIZE="$sanitize" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600)
}

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp

run_suite build Release ""
run_suite build-asan RelWithDebInfo "address,undefined"
run_suite build-tsan RelWithDebInfo "thread"
