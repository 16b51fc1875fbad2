"""The report's plots, drawn with matplotlib's SVG backend: text stays
text, the output is the same for the same files (a fixed hash salt, no
date), and nothing needs a display.

Every figure is against run time and marks each fault the tool injected as
a dashed vertical line with its number, so that a dip in one plot can be
read against the others. A marker is an SVG group with the id "fault-N",
which is how a reader of the file (or a test) finds them.
"""

import io

import matplotlib

matplotlib.use("svg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend is chosen first)

from runfiles import failure_kinds, failures_per_line  # noqa: E402

matplotlib.rcParams.update({
    "svg.fonttype": "none",
    "svg.hashsalt": "yebreport",
    "font.size": 9,
    "axes.grid": True,
    "grid.alpha": 0.3,
})

FAULT_COLOUR = "black"


class Figure:
    """One plot: its key (the HTML id), a title, the SVG text, and a line
    that says what is shown and what is missing."""

    def __init__(self, key, title, svg, caption):
        self.key = key
        self.title = title
        self.svg = svg
        self.caption = caption


def _axes(title, ylabel):
    figure, axes = plt.subplots(figsize=(9, 2.8), layout="constrained")
    axes.set_title(title, loc="left")
    axes.set_xlabel("run time (s)")
    axes.set_ylabel(ylabel)
    return figure, axes


def _mark_faults(axes, run):
    for number, fault in enumerate(run.faults, 1):
        line = axes.axvline(fault.t, color=FAULT_COLOUR, linestyle="-.", linewidth=1, alpha=0.7)
        line.set_gid(f"fault-{number}")
        axes.annotate(str(number), xy=(fault.t, 1.0), xycoords=("data", "axes fraction"),
                      xytext=(2, -10), textcoords="offset points", color=FAULT_COLOUR)


def _finish(figure, axes, run, key, title, caption):
    _mark_faults(axes, run)
    axes.set_xlim(0, max(run.duration, 1.0) * 1.02)
    if axes.get_legend_handles_labels()[0]:
        axes.legend(loc="best", fontsize=8, framealpha=0.8)
    out = io.StringIO()
    figure.savefig(out, format="svg", metadata={"Date": None})
    plt.close(figure)
    return Figure(key, title, out.getvalue(), caption)


def _series(points, name):
    xs = [p["run_t"] for p in points if isinstance(p.get(name), (int, float))]
    ys = [p[name] for p in points if isinstance(p.get(name), (int, float))]
    return xs, ys


def _nested(points, outer, inner):
    xs, ys = [], []
    for p in points:
        value = (p.get(outer) or {}).get(inner)
        if isinstance(value, (int, float)):
            xs.append(p["run_t"])
            ys.append(value)
    return xs, ys


def rate_figure(run):
    figure, axes = _axes("Packet rate", "packets/s")
    axes.plot(*_series(run.cycles, "rate"), marker=".", label="sent (per cycle)")
    if run.progress:
        axes.plot(*_series(run.progress, "packet_rate"), marker=".", alpha=0.7,
                  label="received (per second, yebverify)")
    caption = "The tool's rate per one-second cycle"
    if run.nominal_rate:
        axes.axhline(run.nominal_rate, color="grey", linestyle=":", label="nominal")
        caption += f" against the nominal {run.nominal_rate} packets/s"
    else:
        caption += "; the nominal rate is not known (no start event)"
    axes.set_ylim(bottom=0)
    return _finish(figure, axes, run, "rate", "Packet rate", caption + ".")


def lateness_figure(run):
    figure, axes = _axes("Lateness against the schedule", "ms")
    axes.plot(*_series(run.cycles, "lateness_p99_ms"), marker=".", label="sent p99")
    axes.plot(*_series(run.cycles, "late_max_ms"), marker=".", label="sent max")
    caption = ("How late the tool sent its packets, per cycle: p99 and max. The statistics "
               "file holds no median")
    if run.progress:
        for name in ("median", "p99", "max"):
            axes.plot(*_nested(run.progress, "lateness_ms", name), linestyle="--", alpha=0.8,
                      label=f"arrived {'p50' if name == 'median' else name}")
        caption += ("; p50, p99 and max of the arrivals per second come from yebverify "
                    "(dashed).")
    else:
        caption += ", and no verifier's file was given for the arrivals' p50."
    axes.set_ylim(bottom=0)
    return _finish(figure, axes, run, "lateness", "Lateness", caption)


def blocked_figure(run):
    figure, axes = _axes("Time blocked in send", "ms per cycle")
    xs, ys = _series(run.cycles, "send_blocked_ms")
    axes.bar(xs, ys, width=0.6, label="send blocked")
    axes.set_ylim(bottom=0)
    return _finish(figure, axes, run, "blocked", "Send-blocked time",
                   "Milliseconds each cycle spent inside its sends; a YEB that reads slowly "
                   "shows here first.")


def bytes_figure(run):
    figure, axes = _axes("Bytes per second", "MB/s")
    xs, ys = [], []
    for cycle in run.cycles:
        seconds = (cycle.get("cycle_ms") or 0) / 1000.0
        if seconds > 0 and isinstance(cycle.get("bytes"), (int, float)):
            xs.append(cycle["run_t"])
            ys.append(cycle["bytes"] / seconds / 1e6)
    axes.plot(xs, ys, marker=".", label="sent")
    axes.set_ylim(bottom=0)
    return _finish(figure, axes, run, "bytes", "Bytes per second",
                   "Bytes sent per cycle over the cycle's real length (10^6 bytes per second).")


def failures_figure(run):
    figure, axes = _axes("Failures by kind", "failures/s")
    lines = run.failure_counts
    kinds = failure_kinds(lines)
    if not lines:
        caption = "No verifier's file was given (--verifier): the failures are not known."
        axes.text(0.5, 0.5, "no verifier's file", transform=axes.transAxes, ha="center",
                  color="grey")
    elif not kinds:
        caption = "yebverify counted no failure in any second."
        axes.plot([p["run_t"] for p in lines], [0] * len(lines), marker=".",
                  label="all kinds")
    else:
        caption = "Failures yebverify found in each second, by kind."
        xs = [p["run_t"] for p in lines]
        bottom = [0] * len(xs)
        for kind in kinds:
            counts = failures_per_line(lines, kind)
            axes.bar(xs, counts, width=0.6, bottom=bottom, label=kind)
            bottom = [b + c for b, c in zip(bottom, counts)]
    axes.set_ylim(bottom=0)
    return _finish(figure, axes, run, "failures", "Failures by kind", caption)


def all_figures(run):
    return [rate_figure(run), lateness_figure(run), blocked_figure(run), bytes_figure(run),
            failures_figure(run)]
