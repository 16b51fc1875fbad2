#!/usr/bin/env bash
# Sets up what a fresh Debian 12 machine lacks, builds, and runs every test:
# the Release build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the threaded tests under ThreadSanitizer,
# then the Windows build (mingw-w64) with its tests run under wine
# (YEB_WINDOWS=0 leaves that leg out).
# Any warning, failing test or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
source scripts/windows-deps.sh
ensure_packages chromium

jobs=$(nproc)
build() {  # build <folder> <cmake options...>
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DYEB_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}
leg_start=$SECONDS
leg_done() { echo "-- $1 took $((SECONDS - leg_start)) s"; leg_start=$SECONDS; }

echo "== Format (.clang-format)"
scripts/check-format.sh
leg_done "Format"

echo "== Release build and tests"
build build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
leg_done "Release"

echo "== Soak smoke test (1 minute; bench/soak.sh 60 is the real one)"
bench/soak.sh 1 build
leg_done "Soak"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYEB_SANITIZE=address
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600
leg_done "AddressSanitizer"

echo "== ThreadSanitizer (threaded tests)"
build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYEB_SANITIZE=thread
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 600 -L threaded
leg_done "ThreadSanitizer"

if [[ ${YEB_WINDOWS:-1} == 0 ]]; then
  echo "== All tests passed (Windows leg left out: YEB_WINDOWS=0)"
  exit 0
fi

echo "== Windows build (mingw-w64) and tests under wine"
ensure_windows_packages
libzip=$(windows_libzip_prefix)
build build-win -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DYEB_LIBZIP_PREFIX="$libzip"
export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all
# wine's background services inherit whatever output they are started with
# and keep it open, which would keep ctest waiting for ever: a persistent
# wineserver and the prefix's services are started first, with their output
# on /dev/null, and stopped when this script ends.
trap 'wineserver -k 2>/dev/null || true' EXIT
mkdir -p "$WINEPREFIX"  # the server starts in the prefix, which wineboot fills
wineserver -p
wine wineboot >/dev/null 2>&1 </dev/null
ctest --test-dir build-win --output-on-failure -j "$jobs" --timeout 120 </dev/null
leg_done "Windows"

echo "== All tests passed"
