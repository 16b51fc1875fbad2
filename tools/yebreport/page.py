"""The report page: one HTML file with everything inside it (styles, the
plots as SVG data, a few lines of script), so that it opens from a mail or
a CI artefact with no network and no folder beside it.

The plots are <img> elements with SVG data rather than inline SVG: an
image is drawn in its own document, so matplotlib's ids and styles cannot
clash with the page's or with another plot's. The script counts the plots
the browser decoded into the body's data-plots-decoded attribute and shows
a line under any that could not be, so that a reader whose browser blocks
data images learns why a plot is missing.
"""

import base64
import html

from runfiles import Run

STYLE = """
body { font-family: sans-serif; margin: 1.5em auto; max-width: 60em; color: #222; }
h1 { font-size: 1.4em; margin-bottom: 0.2em; }
h2 { font-size: 1.1em; margin-top: 1.6em; border-bottom: 1px solid #ddd; }
table { border-collapse: collapse; font-size: 0.9em; }
td, th { border: 1px solid #ddd; padding: 0.2em 0.6em; text-align: left; }
.verdict { font-size: 1.1em; padding: 0.4em 0.6em; border-radius: 4px; display: inline-block; }
.ok { background: #e3f4e1; } .failed, .incomplete, .error { background: #f8e0dd; }
.unknown { background: #eee; }
figure { margin: 1em 0; } figure img { width: 100%; }
figcaption, .note { font-size: 0.85em; color: #555; }
.broken { color: #c0392b; }
"""

SCRIPT = """
window.addEventListener("load", function () {
  var decoded = 0;
  document.querySelectorAll("figure img").forEach(function (img) {
    if (img.complete && img.naturalWidth > 0) { decoded++; return; }
    var line = document.createElement("p");
    line.className = "broken";
    line.textContent = "This browser could not show the plot (data images blocked?).";
    img.parentNode.appendChild(line);
  });
  document.body.setAttribute("data-plots-decoded", String(decoded));
});
"""


def _e(value):
    return html.escape(str(value), quote=True)


def _value_text(value):
    if value is None:
        return "none"
    if isinstance(value, bool):
        return "yes" if value else "no"
    return str(value)


def _table(rows, header=None):
    parts = ["<table>"]
    if header:
        parts.append("<tr>" + "".join(f"<th>{_e(h)}</th>" for h in header) + "</tr>")
    for row in rows:
        parts.append("<tr>" + "".join(f"<td>{_e(_value_text(c))}</td>" for c in row) + "</tr>")
    parts.append("</table>")
    return "\n".join(parts)


# The manifest fields worth a line in the header, in reading order.
SETTINGS = ["program", "version", "source", "packet_rate", "super_stress", "time_jump",
            "time_gap", "tag_offset", "parameters", "packet_bytes", "address", "port",
            "fault_script", "signals", "list", "working_dir"]


def _settings(run: Run):
    if not run.start:
        return '<p class="note">The run\'s settings are not known (no start event).</p>'
    rows = [("started (UTC)", run.start.get("wall")), ("run id", run.run_id)]
    rows += [(name.replace("_", " "), run.start[name]) for name in SETTINGS if name in run.start]
    return _table(rows)


def _verdict(run: Run):
    if run.verdict is None:
        reason = ("no verifier's file was given" if run.verifier_path is None
                  else "the verifier's file has no verdict")
        return (f'<p class="verdict unknown">No verdict: {_e(reason)}; the statistics file alone '
                "checks nothing.</p>")
    result = run.verdict.get("result") or "unknown"
    return f'<p class="verdict {_e(result)}">{_e(run.verdict.get("text") or result)}</p>'


def _figures_line(run: Run):
    cycles = run.cycles
    late = sum(c.get("late_packets") or 0 for c in cycles)
    restarts = sum(c.get("schedule_restarts") or 0 for c in cycles)
    sent = sum(e.get("packets") or 0 for e in run.transfers)
    reasons = ", ".join(f"{e.get('connection')}: {e.get('reason')}" for e in run.transfers)
    return _table([
        ("run time covered (s)", f"{run.duration:.1f}"),
        ("transfers (connection: how each ended)", f"{len(run.transfers)} ({reasons or 'none ended'})"),
        ("cycles", len(cycles)),
        ("packets sent", sent),
        ("late packets", late),
        ("schedule restarts", restarts),
    ])


def _thresholds(run: Run):
    thresholds = (run.summary or {}).get("thresholds")
    if not thresholds:
        where = ("no verifier's file was given" if run.verifier_path is None
                 else "yebverify was given none")
        return (f'<p class="note">No thresholds: {_e(where)} (yebverify --max-late-ms, '
                "--min-rate-percent).</p>")
    names = {"max_late_ms": "lateness p99 at most (ms)",
             "min_rate_percent": "steady rate at least (% of nominal)"}
    rows = [(names.get(name, name), t.get("limit"), t.get("measured"),
             "met" if t.get("met") else "BROKEN") for name, t in thresholds.items()]
    return _table(rows, ["threshold", "limit", "measured", "outcome"])


def _faults(run: Run):
    parts = []
    if run.faults:
        rows = [(n, f"{f.t:.3f}", f.connection, f"{f.transfer_t:.3f}", f.line, f.text)
                for n, f in enumerate(run.faults, 1)]
        parts.append(_table(rows, ["marker", "run time (s)", "connection", "into the transfer (s)",
                                   "script line", "event"]))
    else:
        parts.append('<p class="note">The tool injected no fault.</p>')
    if run.script_path:
        fired = {f.line for f in run.faults}
        rows = [(line, text, "fired" if line in fired else "never fired")
                for line, text in run.script]
        parts.append(f'<p class="note">The fault script {_e(run.script_path)}:</p>')
        parts.append(_table(rows, ["line", "event", "in this run"]))
    return "\n".join(parts)


def _figure(figure):
    data = base64.b64encode(figure.svg.encode("utf-8")).decode("ascii")
    return (f'<figure id="plot-{_e(figure.key)}">\n'
            f'<img alt="{_e(figure.title)}" src="data:image/svg+xml;base64,{data}">\n'
            f"<figcaption>{_e(figure.caption)}</figcaption>\n</figure>")


def render(run: Run, figures):
    title = f"yebstress run {run.run_id}" if run.run_id else "yebstress run"
    notes = "".join(f'<p class="note">{_e(n)}</p>' for n in run.notes)
    sources = f"Statistics file: {run.stats_path}"
    if run.verifier_path:
        sources += f"; verifier's file: {run.verifier_path}"
    return "\n".join([
        "<!DOCTYPE html>",
        '<html lang="en">',
        "<head>",
        '<meta charset="utf-8">',
        f"<title>{_e(title)}</title>",
        f"<style>{STYLE}</style>",
        f"<script>{SCRIPT}</script>",
        "</head>",
        "<body>",
        f"<h1>{_e(title)}</h1>",
        f'<p class="note">{_e(sources)}</p>',
        _verdict(run),
        notes,
        "<h2>Settings</h2>",
        _settings(run),
        "<h2>What happened</h2>",
        _figures_line(run),
        "<h2>Thresholds</h2>",
        _thresholds(run),
        "<h2>Faults</h2>",
        _faults(run),
        "<h2>Plots</h2>",
        *[_figure(f) for f in figures],
        "</body>",
        "</html>",
        "",
    ])
