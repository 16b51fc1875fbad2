#include "Manifest.h"

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>

#include "Report.h"
#include "TextFile.h"

namespace yebverify {
namespace {

namespace fs = std::filesystem;
using platform::Status;

constexpr uint64_t kMaxManifestBytes = 1 << 20;

// Reads one field of the manifest object, refusing a missing one or one of
// another type with the field's name.
class Fields {
 public:
  explicit Fields(const nlohmann::json& object) : object_(object) {}

  Status Text(const char* key, std::string& value, bool nullAllowed = false) const {
    const nlohmann::json* field = nullptr;
    if (Status s = Find(key, field); !s.ok()) return s;
    if (nullAllowed && field->is_null()) {
      value.clear();
      return Status::Ok();
    }
    if (!field->is_string()) return Wrong(key, nullAllowed ? "a text or null" : "a text");
    value = field->get<std::string>();
    return Status::Ok();
  }
  Status Flag(const char* key, bool& value) const {
    const nlohmann::json* field = nullptr;
    if (Status s = Find(key, field); !s.ok()) return s;
    if (!field->is_boolean()) return Wrong(key, "true or false");
    value = field->get<bool>();
    return Status::Ok();
  }
  Status Whole(const char* key, int64_t low, int64_t high, int64_t& value) const {
    const nlohmann::json* field = nullptr;
    if (Status s = Find(key, field); !s.ok()) return s;
    if (!field->is_number_integer() || field->get<int64_t>() < low ||
        field->get<int64_t>() > high) {
      return Wrong(
          key, ("a whole number " + std::to_string(low) + " to " + std::to_string(high)).c_str());
    }
    value = field->get<int64_t>();
    return Status::Ok();
  }

 private:
  Status Find(const char* key, const nlohmann::json*& field) const {
    auto it = object_.find(key);
    if (it == object_.end()) {
      return Status::InvalidArgument(std::string("the field \"") + key + "\" is missing");
    }
    field = &*it;
    return Status::Ok();
  }
  Status Wrong(const char* key, const char* want) const {
    return Status::InvalidArgument(std::string("the field \"") + key + "\" must be " + want +
                                   ", not " + object_.at(key).dump());
  }

  const nlohmann::json& object_;
};

std::string Resolve(const std::string& workingDir, const std::string& path) {
  if (path.empty() || fs::path(path).is_absolute()) return path;
  return (fs::path(workingDir) / fs::path(path)).string();
}

std::string FileTimeText(fs::file_time_type time) {
  using namespace std::chrono;
  const auto system = time_point_cast<milliseconds>(file_clock::to_sys(time));
  return UtcTimeText(system.time_since_epoch().count());
}

}  // namespace

Status ParseManifest(std::string_view text, RunManifest& m) {
  nlohmann::json object;
  try {
    object = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    // "[json.exception.parse_error.101] parse error at line 1, ...": the
    // bracketed name says nothing to the reader.
    std::string reason = e.what();
    const size_t close = reason.find("] ");
    if (close != std::string::npos) reason.erase(0, close + 2);
    return Status::InvalidArgument("not valid JSON: " + reason);
  }
  if (!object.is_object()) return Status::InvalidArgument("not a JSON object");
  const Fields fields(object);
  std::string source;
  int64_t rate = 0, tagOffset = 0, port = 0;
  for (Status s :
       {fields.Text("program", m.program), fields.Text("version", m.version),
        fields.Text("run_id", m.runId), fields.Text("written", m.written),
        fields.Text("source", source), fields.Whole("packet_rate", 50, 200, rate),
        fields.Flag("super_stress", m.superStress), fields.Flag("time_jump", m.timeJump),
        fields.Flag("time_gap", m.timeGap),
        fields.Whole("tag_offset", INT32_MIN, INT32_MAX, tagOffset), fields.Text("list", m.list),
        fields.Text("address", m.address), fields.Whole("port", 1, 65535, port),
        fields.Text("fault_script", m.faultScript, true),
        fields.Text("working_dir", m.workingDir)}) {
    if (!s.ok()) return s;
  }
  if (m.program != "yebstress") {
    return Status::InvalidArgument("written by \"" + m.program + "\", not by yebstress");
  }
  if (source == "custom") {
    m.source = SourceKind::kCustom;
  } else if (source == "nep") {
    m.source = SourceKind::kNep;
  } else {
    return Status::InvalidArgument("the field \"source\" must be \"custom\" or \"nep\", not \"" +
                                   source + "\"");
  }
  if (rate != 50 && rate != 100 && rate != 200) {
    return Status::InvalidArgument("the field \"packet_rate\" must be 50, 100 or 200, not " +
                                   std::to_string(rate));
  }
  if (m.list.empty()) return Status::InvalidArgument("the field \"list\" is empty");
  if (!fs::path(m.workingDir).is_absolute()) {
    return Status::InvalidArgument("the field \"working_dir\" must be an absolute path, not \"" +
                                   m.workingDir + "\"");
  }
  if (object.contains("connections")) {
    int64_t connections = 1;
    if (Status s = fields.Whole("connections", 1, 16, connections); !s.ok()) return s;
    m.connections = static_cast<int>(connections);
  }
  m.packetRate = static_cast<int>(rate);
  m.tagOffset = tagOffset;
  m.port = static_cast<int>(port);
  m.list = Resolve(m.workingDir, m.list);
  m.faultScript = Resolve(m.workingDir, m.faultScript);
  // Manifests written before signals existed have no such key.
  if (object.contains("signals")) {
    if (Status s = fields.Text("signals", m.signals, true); !s.ok()) return s;
    m.signals = Resolve(m.workingDir, m.signals);
  }
  return Status::Ok();
}

Status LoadManifest(const std::string& path, RunManifest& manifest, bool checkList) {
  std::string text;
  Status s = ReadTextFile(path, "run manifest", kMaxManifestBytes, text);
  if (s.ok()) s = ParseManifest(text, manifest);
  if (!s.ok()) {
    // The read's message names the file already.
    return s.message().find(path) != std::string::npos ? s : s.WithContext("run manifest " + path);
  }
  if (!checkList) return Status::Ok();
  std::error_code error;
  const fs::file_time_type listTime = fs::last_write_time(manifest.list, error);
  if (error) {
    return platform::SystemError(manifest.list, error.value())
        .WithContext("run manifest " + path + ": its parameter list");
  }
  const fs::file_time_type manifestTime = fs::last_write_time(path, error);
  if (error) return platform::SystemError(path, error.value());
  if (listTime > manifestTime) {
    return Status::InvalidArgument(
        "run manifest " + path + ": its parameter list " + manifest.list + " was modified at " +
        FileTimeText(listTime) + ", after the manifest was written (" + FileTimeText(manifestTime) +
        "): the list belongs to another run; run the tool again or give --list");
  }
  return Status::Ok();
}

std::vector<std::string> ApplyManifest(const RunManifest& m, VerifyOptions& options) {
  std::vector<std::string> warnings;
  // Takes the manifest's value for an option not given; for one given,
  // warns when the two differ.
  auto take = [&](const char* option, auto& value, const auto& fromManifest, auto text) {
    if (!options.Given(option)) {
      value = fromManifest;
    } else if (!(value == fromManifest)) {
      warnings.push_back(std::string(option) + " " + text(value) + " differs from the manifest's " +
                         text(fromManifest) + "; using " + text(value));
    }
  };
  auto number = [](const auto& v) { return std::to_string(v); };
  auto plain = [](const std::string& v) { return v; };
  auto sourceName = [](SourceKind k) {
    return std::string(k == SourceKind::kNep ? "nep" : "custom");
  };
  auto flag = [](bool on) { return std::string(on ? "on" : "off"); };

  const std::string host = m.address == "0.0.0.0" ? "127.0.0.1" : m.address;
  take("--host", options.host, host, plain);
  take("--port", options.port, m.port, number);
  take("--source", options.source, m.source, sourceName);
  take("--packet-rate", options.packetRate, m.packetRate, number);
  take("--list", options.listPath, m.list, plain);
  // A flag given on the command line can only say "on".
  take("--super-stress", options.superStress, m.superStress, flag);
  take("--time-jump", options.timeJump, m.timeJump, flag);
  take("--time-gap", options.timeGap, m.timeGap, flag);
  if (!options.Given("--tag-offset")) {
    options.tagOffset = m.tagOffset;
  } else if (*options.tagOffset != m.tagOffset) {
    warnings.push_back("--tag-offset " + std::to_string(*options.tagOffset) +
                       " differs from the manifest's " + std::to_string(m.tagOffset) + "; using " +
                       std::to_string(*options.tagOffset));
  }
  options.joinLate = m.connections > 1;
  if (!m.faultScript.empty())
    take("--expect-faults", options.expectFaultsPath, m.faultScript, plain);
  if (!m.signals.empty()) take("--signals", options.signalsPath, m.signals, plain);
  return warnings;
}

}  // namespace yebverify
