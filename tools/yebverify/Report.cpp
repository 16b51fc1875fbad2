#include "Report.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "platform/UtcTime.h"

namespace yebverify {
namespace {

std::string Format(const char* format, auto... values) {
  char text[512];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

double Ms(int64_t ns) { return static_cast<double>(ns) / 1e6; }

// Percent above (+) or below (-) the nominal packet rate.
double RateDeviation(double rate, int nominal) {
  return rate > 0.0 ? (rate / nominal - 1.0) * 100.0 : 0.0;
}

// Three decimals, as the human report shows them: a JSON reader gets
// 49.999, not 49.99912345678.
double Round3(double value) { return std::round(value * 1000.0) / 1000.0; }

Json NullOr(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

Json Quantiles(int64_t medianNs, int64_t p99Ns, int64_t maxNs) {
  return Json{
      {"median", Round3(Ms(medianNs))}, {"p99", Round3(Ms(p99Ns))}, {"max", Round3(Ms(maxNs))}};
}

}  // namespace

std::string UtcTimeText(int64_t ms) { return platform::UtcTimeText(ms); }

std::string WallClockText() { return UtcTimeText(platform::WallClockNowMs()); }

std::string ProgressLine(const ReportFigures& f, uint64_t totalPackets,
                         const FailureLog& failures) {
  const TimingFigures& t = f.timing;
  return Format(
      "[%7.1f s] packets %llu (+%llu) %.2f MB/s rate %.2f/s (nominal %d, %+.2f%%) gap ms median "
      "%.3f p99 %.3f max "
      "%.3f late ms p99 %.3f max %.3f data %s failures %llu\n",
      f.elapsedSeconds, static_cast<unsigned long long>(totalPackets),
      static_cast<unsigned long long>(t.packets),
      t.seconds > 0 ? static_cast<double>(t.bytes) / t.seconds / 1e6 : 0.0, t.packetRate,
      f.nominalRate, RateDeviation(t.packetRate, f.nominalRate), Ms(t.gapMedianNs), Ms(t.gapP99Ns),
      Ms(t.gapMaxNs), Ms(t.lateP99Ns), Ms(t.lateMaxNs), f.dataTime.value_or("-").c_str(),
      static_cast<unsigned long long>(failures.total()));
}

std::string SummaryText(const ReportFigures& f, const FailureLog& failures) {
  const TimingFigures& t = f.timing;
  std::string text = "Summary\n";
  text += Format(
      "  connections: %llu, packets: %llu, bytes: %llu, samples checked: %llu\n",
      static_cast<unsigned long long>(f.connections), static_cast<unsigned long long>(t.packets),
      static_cast<unsigned long long>(t.bytes), static_cast<unsigned long long>(f.samples));
  if (f.joinedAtSequence > 0) {
    text += Format("  joined at sequence %llu: the transfer was running; checked from there on\n",
                   static_cast<unsigned long long>(f.joinedAtSequence));
  }
  if (f.missedPackets > 0) {
    text += Format("  packets the tool sent between connections (not seen): %llu\n",
                   static_cast<unsigned long long>(f.missedPackets));
  }
  text += Format("  packet rate: %.3f/s against nominal %d (%+.3f%%) over %.2f s\n", t.packetRate,
                 f.nominalRate, RateDeviation(t.packetRate, f.nominalRate), t.seconds);
  if (t.steadySeconds > 0) {
    text += Format("  steady rate: %.3f/s (%+.3f%%) over %.2f s of whole cycles\n", t.steadyRate,
                   RateDeviation(t.steadyRate, f.nominalRate), t.steadySeconds);
  }
  text += Format("  inter-arrival ms: median %.3f, p99 %.3f, max %.3f\n", Ms(t.gapMedianNs),
                 Ms(t.gapP99Ns), Ms(t.gapMaxNs));
  text += Format("  lateness against the tool's schedule, ms: median %.3f, p99 %.3f, max %.3f\n",
                 Ms(t.lateMedianNs), Ms(t.lateP99Ns), Ms(t.lateMaxNs));
  for (const ThresholdResult& r : f.thresholds) {
    text += "  " + std::string(r.option) + " " + Format("%g", r.limit) + ": " +
            (r.met ? "met" : "broken") + "\n";
  }
  text += "  data time: " + f.dataTime.value_or("-") + "\n";
  text += "  failures: " + failures.CountsText() + "\n";
  for (const FailureRecord& r : failures.described()) text += "    " + FormatFailure(r) + "\n";
  if (failures.total() > failures.described().size()) {
    text += Format("    (%llu more not described)\n",
                   static_cast<unsigned long long>(failures.total() - failures.described().size()));
  }
  if (f.matchedFaults != nullptr) {
    text += Format("  faults as expected: %zu\n", f.matchedFaults->size());
    for (const MatchedFault& m : *f.matchedFaults) text += "    " + m.Text() + "\n";
  }
  return text;
}

std::string VerdictText(const Verdict& verdict) {
  std::string text = verdict.text + "\n";
  if (!verdict.hint.empty()) text += "  " + verdict.hint + "\n";
  return text;
}

Json FailureJson(const FailureRecord& r, const std::string& runId) {
  Json line{{"type", "failure"}};
  line["kind"] = FailureKindName(r.kind);
  line["packet"] = r.packet;
  line["offset"] = r.offset;
  line["text"] = r.text;
  line["expected"] = NullOr(r.expected);
  line["found"] = NullOr(r.found);
  line["run_id"] = NullOr(runId);
  return line;
}

Json FiguresJson(const char* kind, const ReportFigures& f, const FailureLog& failures,
                 const std::string& runId) {
  const TimingFigures& t = f.timing;
  const bool summary = std::string(kind) == "summary";
  Json line{{"type", kind}};
  line["wall"] = f.wallTime;
  line["elapsed_s"] = Round3(f.elapsedSeconds);
  line["data_time"] = f.dataTime ? Json(*f.dataTime) : Json(nullptr);
  line["packets"] = t.packets;
  line["bytes"] = t.bytes;
  line["samples"] = f.samples;
  line["packet_rate"] = Round3(t.packetRate);
  if (summary)
    line["steady_rate"] = t.steadySeconds > 0 ? Json(Round3(t.steadyRate)) : Json(nullptr);
  line["nominal_rate"] = f.nominalRate;
  line["interarrival_ms"] = Quantiles(t.gapMedianNs, t.gapP99Ns, t.gapMaxNs);
  line["lateness_ms"] = Quantiles(t.lateMedianNs, t.lateP99Ns, t.lateMaxNs);
  line["total_packets"] = f.totalPackets;
  line["connections"] = f.connections;
  Json counts{{"total", failures.total()}};
  for (size_t k = 0; k < static_cast<size_t>(FailureKind::kCount); ++k) {
    const uint64_t n = failures.count(static_cast<FailureKind>(k));
    if (n > 0) counts[FailureKindName(static_cast<FailureKind>(k))] = n;
  }
  line["failures"] = counts;
  if (summary) {
    line["missed_packets"] = f.missedPackets;
    if (f.joinedAtSequence > 0) line["joined_at_sequence"] = f.joinedAtSequence;
    Json described = Json::array();
    for (const FailureRecord& r : failures.described()) {
      Json one = FailureJson(r, runId);
      one.erase("type");
      one.erase("run_id");
      described.push_back(one);
    }
    line["described"] = described;
    Json matched = nullptr;
    if (f.matchedFaults != nullptr) {
      matched = Json::array();
      for (const MatchedFault& m : *f.matchedFaults) {
        matched.push_back(Json{{"kind", FailureKindName(m.kind)},
                               {"packet", m.packet},
                               {"line", m.line},
                               {"event", m.event}});
      }
    }
    line["faults_expected"] = matched;
    line["thresholds"] = ThresholdsJson(f.thresholds);
  }
  line["run_id"] = NullOr(runId);
  return line;
}

Json VerdictJson(const Verdict& v, const std::string& runId) {
  return Json{{"type", "verdict"}, {"status", v.status},     {"result", v.result},
              {"text", v.text},    {"hint", NullOr(v.hint)}, {"run_id", NullOr(runId)}};
}

std::string JsonText(const Json& object) {
  // Invalid UTF-8 in a name from the list is replaced, not thrown about.
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace yebverify
