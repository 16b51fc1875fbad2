#!/usr/bin/env bash
# A long run under measurement: bench/soak.sh MINUTES [BUILD_DIR]
#
# yebstress streams a 10,000-parameter table (1,000 samples per second each)
# at 200 packets per second with a statistics file and a fault script that
# drops one packet and duplicates one every minute; yebverify checks every
# sample against the list, expecting exactly those faults. Once a minute both
# programs' resident memory, open descriptors and threads are sampled. At the
# end a table gives, per 10 minutes, the packets sent against those due (the
# drift) and the lateness p99/max on the sender's schedule, then memory and
# descriptors at the start, after the first minute and at the end, the
# statistics file's size and the verifier's verdict. The exit status is the
# verifier's, or 1 when memory or descriptors grew after the first minute.
#
# YEBSTRESS and YEBVERIFY override the programs (to compare two builds).
# Linux only: the samples come from /proc.
set -euo pipefail

minutes=${1:?usage: bench/soak.sh MINUTES [BUILD_DIR]}
[[ $minutes =~ ^[1-9][0-9]*$ ]] || { echo "soak: MINUTES must be a whole number above 0" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
bench_programs "${2:-$here/../build}"
for program in "$stress" "$verify"; do
  [[ -x $program ]] || { echo "soak: $program is not built" >&2; exit 2; }
done

bench_workdir soak
echo "soak: $minutes minutes in $work"

printf '10000,1000\n' >parmInfo.txt
# The drop and the duplicate fall in the middle of every minute, on the
# tool's schedule.
for ((m = 0; m < minutes; ++m)); do
  printf '%d drop 1\n%d duplicate 1\n' $((m * 60 + 29)) $((m * 60 + 31))
done >faults.txt
port=$(free_port)
seconds=$((minutes * 60))

# The tool waits for a key on its input; a pipe that stays open gives none.
mkfifo keys
sleep $((seconds + 660)) >keys &
pids+=($!)
"$stress" /PortId "$port" /PacketRate 5 /StatsFile stats.jsonl /FaultScript faults.txt \
  <keys >stress.out 2>&1 &
stress_pid=$!
pids+=("$stress_pid")
# The list is written before the tool listens; --connect-wait covers the rest.
for ((i = 0; i < 600; ++i)); do
  grep -q "Wait for YEB connect" stress.out 2>/dev/null && break
  kill -0 "$stress_pid" 2>/dev/null || { cat stress.out >&2; exit 2; }
  sleep 0.1
done
"$verify" --port "$port" --packet-rate 200 --seconds $((seconds + 15)) --connect-wait 60 \
  --list YEBFiles/zarnYEB.prn --expect-faults faults.txt --json-out verify.jsonl --quiet \
  >verify.out 2>&1 &
verify_pid=$!
pids+=("$verify_pid")

# "minute program rss_kb fds threads" lines, the first 5 s in.
sample() {
  local minute=$1 name pid
  for name in yebstress yebverify; do
    [[ $name == yebstress ]] && pid=$stress_pid || pid=$verify_pid
    [[ -d /proc/$pid ]] || continue
    awk -v m="$minute" -v n="$name" -v fds="$(ls /proc/"$pid"/fd 2>/dev/null | wc -l)" \
      '/^VmRSS:/ { rss = $2 } /^Threads:/ { t = $2 } END { print m, n, rss, fds, t }' \
      /proc/"$pid"/status >>samples.txt
  done
}
sleep 5
sample 0
for ((m = 1; m <= minutes; ++m)); do
  sleep 60
  sample "$m"
done
status=0
wait "$verify_pid" || status=$?
kill "$stress_pid" 2>/dev/null || true

python3 "$here/soak_summary.py" stats.jsonl samples.txt verify.jsonl "$status" || status=1
echo "soak: files kept in $work"
exit "$status"
