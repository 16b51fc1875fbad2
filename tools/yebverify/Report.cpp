#include "Report.h"

#include <cstdio>

#include "platform/System.h"

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

std::string JsonEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += Format("\\u%04x", c);
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string quoted(1, '"');
  quoted += JsonEscape(text);
  quoted += '"';
  return quoted;
}

std::string WallClockText() {
  platform::LocalTime t = platform::LocalTimeNow();
  return Format("%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.millisecond);
}

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
      Ms(t.gapMaxNs), Ms(t.lateP99Ns), Ms(t.lateMaxNs), f.dataTime.c_str(),
      static_cast<unsigned long long>(failures.total()));
}

std::string SummaryText(const ReportFigures& f, const FailureLog& failures) {
  const TimingFigures& t = f.timing;
  std::string text = "Summary\n";
  text += Format(
      "  connections: %llu, packets: %llu, bytes: %llu, samples checked: %llu\n",
      static_cast<unsigned long long>(f.connections), static_cast<unsigned long long>(t.packets),
      static_cast<unsigned long long>(t.bytes), static_cast<unsigned long long>(f.samples));
  if (f.missedPackets > 0) {
    text += Format("  packets the tool sent between connections (not seen): %llu\n",
                   static_cast<unsigned long long>(f.missedPackets));
  }
  text += Format("  packet rate: %.3f/s against nominal %d (%+.3f%%) over %.2f s\n", t.packetRate,
                 f.nominalRate, RateDeviation(t.packetRate, f.nominalRate), t.seconds);
  text += Format("  inter-arrival ms: median %.3f, p99 %.3f, max %.3f\n", Ms(t.gapMedianNs),
                 Ms(t.gapP99Ns), Ms(t.gapMaxNs));
  text += Format("  lateness against the tool's schedule, ms: median %.3f, p99 %.3f, max %.3f\n",
                 Ms(t.lateMedianNs), Ms(t.lateP99Ns), Ms(t.lateMaxNs));
  for (const ThresholdResult& r : f.thresholds) {
    text += "  " + std::string(r.option) + " " + Format("%g", r.limit) + ": " +
            (r.met ? "met" : "broken") + "\n";
  }
  text += "  data time: " + f.dataTime + "\n";
  text += "  failures: " + failures.CountsText() + "\n";
  for (const FailureRecord& r : failures.described()) text += "    " + FormatFailure(r) + "\n";
  if (failures.total() > failures.described().size()) {
    text += Format("    (%llu more not described)\n",
                   static_cast<unsigned long long>(failures.total() - failures.described().size()));
  }
  return text;
}

std::string JsonLine(const char* kind, const ReportFigures& f, const FailureLog& failures) {
  const TimingFigures& t = f.timing;
  std::string line = Format(
      "{\"type\":\"%s\",\"wall_time\":\"%s\",\"elapsed_s\":%.3f,\"data_time\":\"%s\",\"packets\":%"
      "llu,"
      "\"bytes\":%llu,\"samples\":%llu,\"packet_rate\":%.3f,\"nominal_rate\":%d,\"interarrival_"
      "ms\":{\"median\":%.3f,"
      "\"p99\":%.3f,\"max\":%.3f},\"lateness_ms\":{\"median\":%.3f,\"p99\":%.3f,\"max\":%.3f}",
      kind, f.wallTime.c_str(), f.elapsedSeconds, f.dataTime.c_str(),
      static_cast<unsigned long long>(t.packets), static_cast<unsigned long long>(t.bytes),
      static_cast<unsigned long long>(f.samples), t.packetRate, f.nominalRate, Ms(t.gapMedianNs),
      Ms(t.gapP99Ns), Ms(t.gapMaxNs), Ms(t.lateMedianNs), Ms(t.lateP99Ns), Ms(t.lateMaxNs));
  line += Format(",\"total_packets\":%llu,\"connections\":%llu,\"failures\":{\"total\":%llu",
                 static_cast<unsigned long long>(f.totalPackets),
                 static_cast<unsigned long long>(f.connections),
                 static_cast<unsigned long long>(failures.total()));
  for (size_t k = 0; k < static_cast<size_t>(FailureKind::kCount); ++k) {
    const uint64_t n = failures.count(static_cast<FailureKind>(k));
    if (n > 0)
      line += Format(",\"%s\":%llu", FailureKindName(static_cast<FailureKind>(k)),
                     static_cast<unsigned long long>(n));
  }
  line += "}";
  if (std::string(kind) == "summary") {
    line += ",\"described\":[";
    bool first = true;
    for (const FailureRecord& r : failures.described()) {
      if (!first) line += ",";
      first = false;
      line += JsonString(FormatFailure(r));
    }
    line += "]";
    line += ThresholdsJson(f.thresholds);
  }
  return line + "}\n";
}

std::string JsonFailureLine(const FailureRecord& r) {
  return Format("{\"type\":\"failure\",\"kind\":\"%s\",\"packet\":%llu,\"offset\":%llu,\"text\":\"",
                FailureKindName(r.kind), static_cast<unsigned long long>(r.packet),
                static_cast<unsigned long long>(r.offset)) +
         JsonEscape(r.text) + "\"}\n";
}

}  // namespace yebverify
