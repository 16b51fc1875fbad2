// The run manifest: what a run was told and what it really did, written as
// "run.json" in the output folder before the first connection, so that a
// script (or yebverify --manifest) can check the stream without being told
// the settings again, and so that two runs are told apart by their id.
//
// One JSON object: program, version, run_id, written (UTC), source
// ("custom" or "nep"), packet_rate, super_stress, time_jump, time_gap,
// tag_offset, data_source, parm_prefix, list (the parameter list written),
// address and port (as really listened on), parameters, packet_bytes,
// fault_script and signals (a path or null), working_dir (relative paths
// above are relative to it). The statistics file's "start" event holds the
// same fields.
//
// The file is replaced atomically: a reader sees the old manifest or the
// new one, never half of one.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "driver/RunSettings.h"
#include "platform/Status.h"

namespace driver {

inline constexpr char kManifestFileName[] = "run.json";

// What the settings do not say: known once the run has set itself up.
struct RunFacts {
  std::string runId;
  std::string listPath;  // empty: none written
  uint16_t port = 0;     // the port really bound
  int32_t parameters = 0;
  int32_t packetBytes = 0;
  int64_t wallMs = 0;  // when the manifest is written
};

// 32 hexadecimal digits, different for every run.
std::string NewRunId();

nlohmann::ordered_json ManifestJson(const RunSettings& settings, const RunFacts& facts);

// Writes `manifest` to `path` atomically; the reason names the file when it
// cannot.
platform::Status WriteManifest(const std::string& path, const nlohmann::ordered_json& manifest);

}  // namespace driver
