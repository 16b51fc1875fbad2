#!/usr/bin/env bash
# Sets up what a fresh Debian 12 machine lacks, builds, and runs every test:
# the Release build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the threaded tests under ThreadSanitizer.
# Any warning, failing test or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages

jobs=$(nproc)
build() {  # build <folder> <cmake options...>
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DYEB_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== Release build and tests"
build build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYEB_SANITIZE=address
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600

echo "== ThreadSanitizer (threaded tests)"
build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYEB_SANITIZE=thread
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 600 -L threaded

echo "== All tests passed"
