#!/usr/bin/env bash
# Runs one Windows program under wine, for ctest and the test discovery.
# A background service that wine starts on a program's behalf inherits the
# program's output and could hold ctest's pipe open after the program has
# ended; so the program writes to a file, copied out once wine has returned.
# A program that hangs is stopped here, before ctest's own limit, so that
# what it wrote is still shown.
set -u
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out"' EXIT
timeout -k 5 "${YEB_WINE_TIMEOUT:-110}" wine "$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
exit "$status"
