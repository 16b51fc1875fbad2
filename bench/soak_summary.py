#!/usr/bin/env python3
"""The table at the end of bench/soak.sh.

soak_summary.py STATS_FILE SAMPLES VERIFY_JSON VERIFY_STATUS

Drift is the packets the tool sent in a 10-minute window against the packets
its schedule had due (the packet rate times the window's length on the
tool's monotonic clock; the first window one packet fewer, for the first
cycle is one packet short by design). Lateness is the sender's, against its
own schedule: p99 is the 99th percentile of the cycles' p99s, max the largest
of any packet. Exits 1 when memory or descriptors grew after the first minute.
"""
import json
import os
import sys

RATE = 200
WINDOW_S = 600
GROWTH_LIMIT_KB = 1024


def percentile(values, q):
    if not values:
        return 0.0
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, max(0, -(-len(ordered) * q // 100) - 1))]


def main():
    stats_path, samples_path, verify_path, verify_status = sys.argv[1:5]
    cycles = []
    with open(stats_path) as f:
        for line in f:
            event = json.loads(line)
            if event.get("event") == "cycle" and event.get("connection") == 1:
                cycles.append(event)
    rows = []
    start_t, window = 0.0, []
    total_sent = total_due = 0
    for i, c in enumerate(cycles):
        window.append(c)
        if c["t"] - start_t >= WINDOW_S - 0.5 or i == len(cycles) - 1:
            sent = sum(w["packets"] for w in window)
            due = round(RATE * (c["t"] - start_t)) - (1 if start_t == 0 else 0)
            total_sent += sent
            total_due += due
            rows.append((start_t, c["t"], sent, due,
                         percentile([w["lateness_p99_ms"] for w in window], 99),
                         max(w["late_max_ms"] for w in window),
                         sum(w["late_packets"] for w in window),
                         sum(w["schedule_restarts"] for w in window)))
            start_t, window = c["t"], []

    print()
    print("| minutes | packets sent | due | drift | lateness p99 | max | late packets | restarts |")
    print("|---|---|---|---|---|---|---|---|")
    for t0, t1, sent, due, p99, worst, late, restarts in rows:
        print(f"| {t0 / 60:.1f}-{t1 / 60:.1f} | {sent:,} | {due:,} | "
              f"{(sent / due - 1) * 100:+.4f} % | {p99:.3f} ms | {worst:.3f} ms | {late} | {restarts} |")
    if total_due:
        print(f"| all | {total_sent:,} | {total_due:,} | {(total_sent / total_due - 1) * 100:+.4f} % "
              "| | | | |")

    samples = {}
    with open(samples_path) as f:
        for line in f:
            minute, name, rss, fds, threads = line.split()
            samples.setdefault(name, []).append((int(minute), int(rss), int(fds), int(threads)))
    grew = False
    print()
    print("| program | RSS start | RSS 1 min | RSS end | descriptors start/end | threads start/end |")
    print("|---|---|---|---|---|---|")
    for name, rows_ in samples.items():
        first, end = rows_[0], rows_[-1]
        one = rows_[1] if len(rows_) > 1 else first
        print(f"| {name} | {first[1] / 1024:.1f} MB | {one[1] / 1024:.1f} MB | {end[1] / 1024:.1f} MB "
              f"| {first[2]} / {end[2]} | {first[3]} / {end[3]} |")
        if end[1] - one[1] > GROWTH_LIMIT_KB or end[2] > one[2]:
            grew = True

    print()
    print(f"statistics file: {os.path.getsize(stats_path):,} bytes, {len(cycles)} cycles")
    verdict = "none"
    try:
        with open(verify_path) as f:
            for line in f:
                event = json.loads(line)
                if event.get("type") == "verdict":
                    verdict = event["text"]
    except OSError:
        pass
    print(f"verifier (status {verify_status}): {verdict}")
    if grew:
        print("soak: memory or descriptors grew after the first minute")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
