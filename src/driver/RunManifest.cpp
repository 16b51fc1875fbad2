#include "driver/RunManifest.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "driver/StatsFile.h"
#include "platform/AtomicFile.h"
#include "platform/BuildInfo.h"

namespace driver {
namespace {

nlohmann::ordered_json PathOrNull(const std::string& path) {
  return path.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(path);
}

std::string AddressText(uint32_t ip) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (ip >> 24) & 0xFF, (ip >> 16) & 0xFF,
                (ip >> 8) & 0xFF, ip & 0xFF);
  return text;
}

}  // namespace

std::string NewRunId() {
  // Two draws of the system's entropy, mixed with the time so that a
  // random_device that is a fixed sequence still differs between runs.
  std::random_device device;
  std::mt19937_64 mix(device() ^ static_cast<uint64_t>(
                                     std::chrono::system_clock::now().time_since_epoch().count()));
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(mix()),
                static_cast<unsigned long long>(mix() ^ device()));
  return text;
}

nlohmann::ordered_json ManifestJson(const RunSettings& settings, const RunFacts& facts) {
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);

  nlohmann::ordered_json m;
  m["program"] = "yebstress";
  m["version"] = platform::VersionText();
  m["run_id"] = facts.runId;
  m["written"] = UtcTimeText(facts.wallMs);
  m["source"] = settings.sourceType == packet::kSourceNep ? "nep" : "custom";
  m["packet_rate"] = settings.packetRate;
  m["super_stress"] = settings.superStressFlag != 0;
  m["time_jump"] = settings.timeJumpFlag != 0;
  m["time_gap"] = settings.timeGapFlag != 0;
  m["tag_offset"] = settings.tagOffset;
  m["data_source"] = settings.dataSourceNumber;
  m["parm_prefix"] = settings.parmPrefix;
  m["list"] = PathOrNull(facts.listPath);
  m["address"] = AddressText(settings.bindIp);
  m["port"] = facts.port;
  m["connections"] = settings.connections;
  m["parameters"] = facts.parameters;
  m["packet_bytes"] = facts.packetBytes;
  m["fault_script"] = PathOrNull(settings.faultScriptPath);
  m["signals"] = PathOrNull(settings.signalsPath);
  m["working_dir"] =
      error ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(here.string());
  return m;
}

platform::Status WriteManifest(const std::string& path, const nlohmann::ordered_json& manifest) {
  const std::string text =
      manifest.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  platform::AtomicFileWriter writer;
  if (writer.Open(path) && writer.Write(text.data(), text.size()) && writer.Commit()) {
    return platform::Status::Ok();
  }
  return writer.error();
}

}  // namespace driver
