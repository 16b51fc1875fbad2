// The run manifest yebstress writes before it listens (YEBFiles/run.json):
// one JSON object with every setting the verifier must match, so that
// `yebverify --manifest YEBFiles/run.json` checks any run without being
// told the source, rate, flags, list and port by hand.
//
// A manifest is refused, with the reason, when it cannot be read, is not
// JSON, lacks a field or holds a wrong value, or when its list is missing or
// was modified after the manifest was written: the tool writes the list
// first, so a newer list belongs to another run (a later run that ended
// before it wrote its own manifest), and checking a stream against it
// would report failures that are not there. The time compared is the
// manifest file's own, on the same file system clock as the list's.
//
// Relative paths in the manifest ("list", "fault_script") are the tool's,
// relative to its working folder, which the manifest also holds
// ("working_dir"). The address 0.0.0.0 (every interface) is reached at
// 127.0.0.1.
//
// Thread safety: plain values and pure functions (LoadManifest reads files).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Options.h"
#include "ParameterList.h"
#include "platform/Status.h"

namespace yebverify {

struct RunManifest {
  std::string program;  // "yebstress"
  std::string version;
  std::string runId;
  std::string written;  // UTC, "2026-12-10T04:00:00.123Z"
  SourceKind source = SourceKind::kCustom;
  int packetRate = 50;
  bool superStress = false;
  bool timeJump = false;
  bool timeGap = false;
  int64_t tagOffset = 0;
  std::string list;         // resolved against workingDir
  std::string faultScript;  // resolved; empty: the run had none
  std::string signals;      // resolved; empty: none (or a manifest without the key)
  std::string address;      // as the tool listened
  int port = 0;
  int connections = 1;  // served at once; absent from older manifests
  std::string workingDir;
};

// Parses the text of a manifest; relative paths are resolved against
// "working_dir". Checks no file.
platform::Status ParseManifest(std::string_view text, RunManifest& manifest);
// Reads and parses the manifest at `path` and, with `checkList`, checks
// that its list is there and not newer than the manifest.
platform::Status LoadManifest(const std::string& path, RunManifest& manifest, bool checkList);

// Fills every option not given on the command line from `manifest`; an
// option given that differs from the manifest keeps its value and adds a
// warning line ("--port 50000 differs from the manifest's 49000; using
// 50000"), returned in order.
std::vector<std::string> ApplyManifest(const RunManifest& manifest, VerifyOptions& options);

}  // namespace yebverify
