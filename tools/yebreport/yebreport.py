"""yebreport: one self-contained HTML report of a stress run, for people who
do not read JSON lines.

    yebreport STATS.jsonl [--verifier V.jsonl] [--faults SCRIPT] -o REPORT.html

STATS.jsonl is the stress tool's /StatsFile, V.jsonl yebverify's
--json-out file, SCRIPT the fault script the run was given. Exit status: 0
written, 2 usage error or a file that cannot be read or written (one line
says why).
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from runfiles import ReportError, add_script, add_verifier, read_stats  # noqa: E402


def parse(argv):
    parser = argparse.ArgumentParser(
        prog="yebreport",
        description="Writes one HTML file with the run's settings, verdict, plots against run "
                    "time (packet rate, lateness, send-blocked time, bytes per second, failures "
                    "by kind) with every injected fault marked, and the thresholds' outcome. "
                    "It opens with no network.")
    parser.add_argument("stats", metavar="STATS.jsonl", help="the stress tool's /StatsFile")
    parser.add_argument("--verifier", metavar="V.jsonl", help="yebverify's --json-out file")
    parser.add_argument("--faults", metavar="SCRIPT", help="the run's fault script")
    parser.add_argument("-o", "--output", metavar="REPORT.html", required=True,
                        help="the report to write (replaced)")
    return parser.parse_args(argv)


def main(argv):
    options = parse(argv)
    try:
        run = read_stats(options.stats)
        if options.verifier:
            add_verifier(run, options.verifier)
        if options.faults:
            add_script(run, options.faults)
    except ReportError as error:
        print(f"yebreport: error: {error}", file=sys.stderr)
        return 2
    # matplotlib is loaded only now: a usage error answers at once.
    from figures import all_figures
    from page import render
    text = render(run, all_figures(run))
    # Written beside the target and renamed, so a reader never sees half a page.
    partial = options.output + ".partial"
    try:
        with open(partial, "w", encoding="utf-8") as handle:
            handle.write(text)
        os.replace(partial, options.output)
    except OSError as error:
        print(f"yebreport: error: cannot write {options.output}: {error.strerror}", file=sys.stderr)
        return 2
    print(f"yebreport: wrote {options.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
