#!/usr/bin/env bash
# The whole table end to end: bench/wholetable.sh [SECONDS] [RUNS] [BUILD_DIR]
#
# yebstress streams the 262,144-parameter table (1,000 samples per second
# each: 7.86 MB packets, 1.57 GB/s at 200 packets per second) for SECONDS
# (30) to, in turn:
#   reader    a plain reader that only drains the socket (the baseline),
#   verify    yebverify checking every sample against the list,
#   signals   yebverify --signals with every parameter a sine of one period.
# Each is run RUNS times (3). A row gives the medians of: the packet rate
# over the stream, the sender's lateness against its own schedule (p50 and
# p99 of the cycles' p99s, the largest of any packet), and the CPU each
# program used a second while streaming (user + system, from /proc, the
# first and last two seconds left out), and, with yebverify, the whole run's
# p99 lateness of arrivals against the tool's schedule. KINDS picks the runs ("reader verify
# signals"); YEBSTRESS and YEBVERIFY override the programs. Linux only.
set -euo pipefail

seconds=${1:-30}
runs=${2:-3}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
bench_programs "${3:-$here/../build}"
bench_workdir wholetable
printf '262144,1000\n' >parmInfo.txt
printf '* sine amplitude=100 period=1\n' >sine.txt

# "utime+stime" of a process in clock ticks.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }

# One run: prints "rate p99 worst_p99 max tool_cpu peer_cpu run_p99".
one() {
  local kind=$1 port stress_pid peer_pid args=()
  port=$(free_port)
  [[ $kind == signals ]] && args=(/Signals sine.txt)
  rm -f stats.jsonl verdict.jsonl
  "$stress" /PortId "$port" /Bind 127.0.0.1 /PacketRate 5 /Transfers 1 /Duration "$seconds" \
    /StatsFile stats.jsonl "${args[@]}" </dev/null >stress.out 2>&1 &
  stress_pid=$!
  pids+=("$stress_pid")
  for ((i = 0; i < 600; ++i)); do
    grep -q "Blocked waiting" stress.out 2>/dev/null && break
    sleep 0.1
  done
  case $kind in
    reader)
      python3 - "$port" >peer.out 2>&1 <<'PY' &
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
buffer = bytearray(8 << 20)
while s.recv_into(buffer):
    pass
PY
      ;;
    verify | signals)
      "$verify" --manifest YEBFiles/run.json --quiet --json-out verdict.jsonl >peer.out 2>&1 &
      ;;
  esac
  peer_pid=$!
  pids+=("$peer_pid")
  sleep 2
  local t0 s0 p0 t1 s1 p1
  t0=$(date +%s.%N); s0=$(ticks "$stress_pid"); p0=$(ticks "$peer_pid")
  sleep $((seconds - 4))
  t1=$(date +%s.%N); s1=$(ticks "$stress_pid"); p1=$(ticks "$peer_pid")
  wait "$stress_pid" || true
  wait "$peer_pid" || true
  python3 - stats.jsonl "$t0" "$t1" "$s0" "$s1" "$p0" "$p1" "$(getconf CLK_TCK)" <<'PY'
import json, os, sys
path, t0, t1, s0, s1, p0, p1, hz = sys.argv[1:]
cycles = [e for e in map(json.loads, open(path)) if e.get("event") == "cycle"]
packets = sum(c["packets"] for c in cycles)
span = sum(c["cycle_ms"] for c in cycles) / 1000
p99s = sorted(c["lateness_p99_ms"] for c in cycles)
worst = max(c["late_max_ms"] for c in cycles)
# yebverify's own measure of the whole run: every packet's arrival against
# the tool's schedule, from its verdict (none for the plain reader).
run_p99 = "-"
if os.path.exists("verdict.jsonl"):
    for line in open("verdict.jsonl"):
        verdict = json.loads(line)
        if verdict.get("type") == "summary":
            run_p99 = f"{verdict['lateness_ms']['p99']:.2f}"
seconds = float(t1) - float(t0)
cpu = lambda a, b: (float(b) - float(a)) / float(hz) / seconds * 100
print(f"{packets / span:.1f} {p99s[len(p99s) // 2]:.2f} {p99s[-1]:.2f} {worst:.2f} "
      f"{cpu(s0, s1):.0f} {cpu(p0, p1):.0f} {run_p99}")
PY
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "wholetable: $runs runs of $seconds s each in $work"
echo
echo "| run | packets/s | lateness p99, median cycle | worst cycle p99 | max | yebstress CPU | peer CPU | yebverify's run p99 |"
echo "|---|---|---|---|---|---|---|---|"
for kind in ${KINDS:-reader verify signals}; do
  : >"$kind.txt"
  for ((r = 0; r < runs; ++r)); do one "$kind" >>"$kind.txt"; done
  row="| $kind"
  for col in 1 2 3 4 5 6 7; do
    value=$(awk -v c="$col" '{ print $c }' "$kind.txt" | median)
    case $col in 2 | 3 | 4) value="$value ms" ;; 7) [[ $value == - ]] || value="$value ms" ;; 5 | 6) value="$value %" ;; esac
    row+=" | $value"
  done
  echo "$row |"
done
rm -rf "$work"
