#!/usr/bin/env bash
# Sets up what a fresh Debian 12 machine lacks, builds Release and runs the
# stress tool with the given arguments. With no arguments it runs a short
# demo instead: the stress tool on examples/parmInfo.txt in a temporary
# folder, and yebverify connected to it for ten seconds; then yebreport
# writes the run's report, which stays in build/.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target yebstress yebverify configsql
if (($# > 0)); then
  # The tool reads its parameter file from, and writes YEBFiles into, the
  # folder the user ran this script from.
  root=$PWD
  cd "$caller"
  exec "$root/build/yebstress" "$@"
fi

# The demo. Everything it writes stays in a temporary folder that goes away
# at the end; the stress tool listens on a free port so that it never meets
# another copy of itself on the default one.
root=$PWD
work=$(mktemp -d "${TMPDIR:-/tmp}/yebdemo.XXXXXX")
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cp examples/parmInfo.txt "$work/"
stress=""
cleanup() {
  if [[ -n $stress ]] && kill -0 "$stress" 2>/dev/null; then
    kill -TERM "$stress" 2>/dev/null || true
    for _ in $(seq 30); do kill -0 "$stress" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$stress" 2>/dev/null || true
  fi
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo
echo "== Demo: build/yebstress streams examples/parmInfo.txt on port $port (folder $work)"
(cd "$work" && exec "$root/build/yebstress" /PortId "$port" /StatsFile stats.jsonl \
   </dev/null >"$work/yebstress.log" 2>&1) &
stress=$!
for _ in $(seq 100); do
  grep -q "Blocked waiting for connect" "$work/yebstress.log" 2>/dev/null && break
  sleep 0.1
done
sed 's/^/   yebstress | /' "$work/yebstress.log"
if ! grep -q "Blocked waiting for connect" "$work/yebstress.log"; then
  echo "The stress tool did not start listening; see its output above." >&2
  exit 2
fi

echo
echo "== build/yebverify plays the YEB for 10 s and checks every packet (any key stops it early)"
status=0
build/yebverify --port "$port" --list "$work/YEBFiles/zarnYEB.prn" --seconds 10 \
  --json-out "$work/verify.jsonl" || status=$?
echo
echo "== yebverify exit status $status (0: every check passed, 1: a check failed, 2: could not run)"

echo
echo "== build/yebreport writes the run's report: plots, settings, verdict, in one HTML file"
# The tool writes the transfer's end event once it sees the verifier go.
for _ in $(seq 30); do grep -q '"event":"end"' "$work/stats.jsonl" 2>/dev/null && break; sleep 0.1; done
report=$root/build/demo-report.html
if build/yebreport "$work/stats.jsonl" --verifier "$work/verify.jsonl" -o "$report" >/dev/null; then
  echo "Report: $report (open it in a browser; it needs no network)"
fi
exit "$status"
