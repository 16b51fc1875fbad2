"""Reading a run back: the stress tool's statistics file, yebverify's JSON
lines and the fault script, turned into one Run value that the figures and
the page are drawn from.

Every time is put on one axis, seconds of run time from the "start" event's
wall clock: a cycle's "t" restarts with every transfer, and the verifier's
"elapsed_s" starts when it connected, but both files stamp every line with
the same UTC wall clock. A statistics file may hold several runs appended to
one another; the report is of the last one (its run_id picks the lines, and
the verifier's lines when they carry the same id).
"""

import json
from dataclasses import dataclass, field
from datetime import datetime


class ReportError(Exception):
    """A file that cannot be read or holds nothing to report; the message
    names the file and, where it helps, the line."""


def wall_seconds(text):
    """Seconds since 1970 for "2026-12-09T10:15:02.123Z"; None when absent."""
    if not text:
        return None
    return datetime.fromisoformat(text.replace("Z", "+00:00")).timestamp()


def read_json_lines(path, what):
    """Every JSON object of the file, with its line number. Lines that are
    not JSON are skipped, so a file cut short by a killed run still reads."""
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            lines = handle.readlines()
    except OSError as error:
        raise ReportError(f"cannot read the {what} {path}: {error.strerror}") from None
    objects = []
    for number, line in enumerate(lines, 1):
        line = line.strip()
        if not line:
            continue
        try:
            value = json.loads(line)
        except ValueError:
            continue
        if isinstance(value, dict):
            objects.append(value)
    return objects


@dataclass
class Fault:
    t: float  # run time
    transfer_t: float  # seconds into its transfer, as the script counts
    connection: int
    line: int
    text: str


@dataclass
class Run:
    stats_path: str
    run_id: str = None
    start: dict = field(default_factory=dict)  # the manifest, as the start event holds it
    start_wall: float = None
    cycles: list = field(default_factory=list)  # cycle events with "run_t" added
    faults: list = field(default_factory=list)
    transfers: list = field(default_factory=list)  # end events with "run_t" added
    verifier_path: str = None
    progress: list = field(default_factory=list)  # yebverify's progress lines, with "run_t"
    failure_counts: list = field(default_factory=list)  # the progress lines and the summary
    summary: dict = None
    verdict: dict = None
    script_path: str = None
    script: list = field(default_factory=list)  # (line, text) of each scripted event
    notes: list = field(default_factory=list)  # what the reader should know about the files

    @property
    def nominal_rate(self):
        rate = self.start.get("packet_rate")
        return rate if isinstance(rate, (int, float)) else None

    @property
    def duration(self):
        ends = [c["run_t"] for c in self.cycles] + [p["run_t"] for p in self.progress]
        ends += [e["run_t"] for e in self.transfers] + [f.t for f in self.faults]
        return max(ends) if ends else 0.0


def read_stats(path):
    events = read_json_lines(path, "statistics file")
    if not events:
        raise ReportError(f"the statistics file {path} holds no events")
    starts = [i for i, e in enumerate(events) if e.get("event") == "start"]
    run = Run(stats_path=path)
    if starts:
        first = starts[-1]
        run.start = events[first]
        run.run_id = run.start.get("run_id")
        if len(starts) > 1:
            run.notes.append(f"The statistics file holds {len(starts)} runs; this report is of the "
                             f"last one ({run.run_id}).")
        events = events[first:]
    else:
        run.notes.append("The statistics file has no start event (a tool older than the run "
                         "manifest): the run's settings are not known.")
    if run.run_id is not None:
        events = [e for e in events if e.get("run_id") == run.run_id]
    walls = [wall_seconds(e.get("wall")) for e in events]
    known = [w for w in walls if w is not None]
    if not known:
        raise ReportError(f"the statistics file {path} has no event with a wall time")
    run.start_wall = wall_seconds(run.start.get("wall")) if run.start else min(known)
    for event, wall in zip(events, walls):
        if wall is None:
            continue
        at = wall - run.start_wall
        kind = event.get("event")
        if kind == "cycle":
            run.cycles.append(dict(event, run_t=at))
        elif kind == "fault":
            run.faults.append(Fault(t=at, transfer_t=event.get("t") or 0.0,
                                    connection=event.get("connection") or 0,
                                    line=event.get("line") or 0, text=event.get("fault") or ""))
        elif kind == "end":
            run.transfers.append(dict(event, run_t=at))
    return run


def add_verifier(run, path):
    lines = read_json_lines(path, "verifier's file")
    run.verifier_path = path
    ids = {line.get("run_id") for line in lines if line.get("run_id")}
    if run.run_id and ids and run.run_id not in ids:
        run.notes.append(f"The verifier's file is of run {', '.join(sorted(ids))}, not "
                         f"{run.run_id}: its figures are shown on the wall clock all the same.")
    for line in lines:
        kind = line.get("type")
        wall = wall_seconds(line.get("wall"))
        if kind == "progress" and wall is not None:
            run.progress.append(dict(line, run_t=wall - run.start_wall))
        elif kind == "summary":
            run.summary = line
            # The last, partial second's failures are only in the summary.
            if wall is not None:
                run.failure_counts = run.progress + [dict(line, run_t=wall - run.start_wall)]
        elif kind == "verdict":
            run.verdict = line
    if not run.failure_counts:
        run.failure_counts = list(run.progress)
    if run.verdict is None:
        run.notes.append(f"The verifier's file {path} has no verdict line: the verifier did not "
                         "finish.")


def add_script(run, path):
    """The fault script's events, as (line, text); comments and blank lines
    are not events. The stress tool has already refused a script it cannot
    read, so a line here is taken as written."""
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            lines = handle.read().splitlines()
    except OSError as error:
        raise ReportError(f"cannot read the fault script {path}: {error.strerror}") from None
    run.script_path = path
    for number, line in enumerate(lines, 1):
        text = line.split("#", 1)[0].strip()
        if text:
            run.script.append((number, text))


def failure_kinds(progress):
    """Every failure kind the verifier counted, in order of first sight."""
    kinds = []
    for line in progress:
        for kind in (line.get("failures") or {}):
            if kind != "total" and kind not in kinds:
                kinds.append(kind)
    return kinds


def failures_per_line(progress, kind):
    """Failures of `kind` found since the line before: yebverify's lines
    count failures over the whole run so far."""
    counts, before = [], 0
    for line in progress:
        total = (line.get("failures") or {}).get(kind, 0)
        counts.append(max(total - before, 0))
        before = total
    return counts
