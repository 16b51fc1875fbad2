"""What serving /metrics costs a heavy run: yebstress streams 10,000
parameters at 1,000 samples/s at 200 packets/s to a client that only drains
the socket, with and without /MetricsPort scraped once a second, runs
alternating. Prints, per mode, the median of the runs' lateness p99 (the
99th percentile of the statistics file's per-cycle p99) and the CPU seconds
the tool used per second of run.

    python3 bench/metrics_overhead.py build/yebstress [runs per mode] [seconds]
"""

import json
import os
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def drain(port, stop):
    for _ in range(100):
        try:
            conn = socket.create_connection(("127.0.0.1", port))
            break
        except OSError:
            time.sleep(0.1)
    else:
        return
    conn.settimeout(1.0)
    while not stop.is_set():
        try:
            if not conn.recv(1 << 20):
                break
        except socket.timeout:
            continue
        except OSError:
            break
    conn.close()


def one_run(tool, seconds, scrape):
    folder = tempfile.mkdtemp(prefix="yebbench.")
    with open(os.path.join(folder, "parmInfo.txt"), "w") as f:
        f.write("10000,1000\n")
    port, metrics = free_port(), free_port()
    args = [tool, "/PortId", str(port), "/Bind", "127.0.0.1", "/PacketRate", "5", "/Duration",
            str(seconds), "/StatsFile", "stats.jsonl"]
    if scrape:
        args += ["/MetricsPort", str(metrics)]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    tool_process = subprocess.Popen(args, cwd=folder, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    stop = threading.Event()
    reader = threading.Thread(target=drain, args=(port, stop))
    reader.start()
    start = time.monotonic()
    while tool_process.poll() is None and time.monotonic() - start < seconds + 30:
        if scrape:
            try:
                urllib.request.urlopen(f"http://127.0.0.1:{metrics}/metrics", timeout=1).read()
            except OSError:
                pass
        time.sleep(1.0)
    tool_process.wait(timeout=30)
    stop.set()
    reader.join()
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    with open(os.path.join(folder, "stats.jsonl")) as f:
        p99s = [e["lateness_p99_ms"] for e in map(json.loads, f) if e.get("event") == "cycle"]
    p99s = sorted(p99s[1:])  # the first cycle is the short one
    return p99s[int(0.99 * (len(p99s) - 1))], statistics.median(p99s), cpu / seconds


def main():
    tool = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    results = {False: [], True: []}
    for _ in range(runs):
        for scrape in (False, True):
            results[scrape].append(one_run(tool, seconds, scrape))
            print(("scraped" if scrape else "plain  "), "p99-of-cycle-p99 %.3f ms, median "
                  "cycle p99 %.3f ms, CPU %.4f s/s" % results[scrape][-1], flush=True)
    for scrape in (False, True):
        r = results[scrape]
        print("%s: lateness p99 median %.3f ms (runs %s), CPU %.4f s per s" % (
            "scraped every second" if scrape else "no endpoint         ",
            statistics.median(x[0] for x in r), ", ".join("%.3f" % x[0] for x in r),
            statistics.median(x[2] for x in r)))


if __name__ == "__main__":
    main()
