#!/usr/bin/env bash
# Runs one Windows program under wine, for ctest and the test discovery.
# A background service that wine starts on a program's behalf inherits the
# program's output and could hold ctest's pipe open after the program has
# ended; so the program writes to a file, copied out once wine has returned.
# A program that hangs is stopped here, before ctest's own limit, so that
# what it wrote is still shown.
#
# A test program writes its filter line, flushed, before it runs any test,
# so a test that fails with no output at all failed while wine was still
# starting the program. That was seen once in some thousands of runs and
# never on a rerun, so such a start is tried once more; the first status
# stays in the output. A real fault repeats on the rerun and still fails.
set -u
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out"' EXIT
run() {
  timeout -k 5 "${YEB_WINE_TIMEOUT:-110}" wine "$@" >"$out" 2>&1 </dev/null
}
run "$@"
status=$?
if [[ $status -ne 0 && $status -ne 124 && $status -ne 137 && ! -s $out ]]; then
  echo "wine-run: $1 ended with status $status before writing anything; starting it again"
  run "$@"
  status=$?
fi
cat "$out"
exit "$status"
