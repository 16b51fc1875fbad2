// The statistics file of /StatsFile: one JSON object per line, for scripts
// and dashboards that follow a run while it goes on.
//
// Every line is an event: {"event":NAME, "wall":UTC TIME, "run_id":ID, then
// the fields the caller gives, in its order}. A run starts with a "start"
// event holding its manifest (see RunManifest.h), so runs appended to one
// file are told apart by their id. The file is opened for appending, and
// each line is written whole and flushed at once, so a reader that follows
// the file (tail -f) sees every event as it happens and a run that is
// killed leaves only whole lines behind.
//
// Losing the file must never stop the stream: the first write that fails
// prints one line on the console and the file is written no more.
//
// Thread safety: one object, used by the main thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"
#include "platform/TextOut.h"

namespace driver {

// One "name":value pair of an event.
struct StatsField {
  static StatsField Integer(std::string_view name, int64_t value);
  // Rounded to `digits` fraction digits; a value that is not finite is
  // written as null.
  static StatsField Number(std::string_view name, double value, int digits = 3);
  static StatsField Text(std::string_view name, std::string_view value);
  static StatsField Json(std::string_view name, nlohmann::ordered_json value);

  std::string name;
  nlohmann::ordered_json value;
};

// Milliseconds since 1970-01-01 UTC.
using WallClockMs = std::function<int64_t()>;
WallClockMs SystemWallClockMs();

// "2026-12-09T10:15:02.123Z" for `ms` since 1970-01-01 UTC.
std::string UtcTimeText(int64_t ms);

class StatsFile {
 public:
  // Opens `path` for appending into `out`; fails with the system's reason
  // when the file cannot be opened. Write failures are told to `console`.
  static platform::Status Open(const std::string& path, platform::TextOut& console,
                               std::unique_ptr<StatsFile>& out,
                               WallClockMs wallClock = SystemWallClockMs());
  ~StatsFile();
  StatsFile(const StatsFile&) = delete;
  StatsFile& operator=(const StatsFile&) = delete;

  // Writes {"event":event,"wall":...,"run_id":...,fields...} as one line.
  void WriteEvent(std::string_view event, std::initializer_list<StatsField> fields);
  void WriteEvent(std::string_view event, const std::vector<StatsField>& fields);
  // The id every later event carries (null until set).
  void SetRunId(std::string runId) { runId_ = std::move(runId); }

  // False once a write has failed and the file is no longer written.
  bool writing() const { return file_ != nullptr; }

 private:
  StatsFile(std::FILE* file, std::string path, platform::TextOut& console, WallClockMs wallClock);

  std::FILE* file_;
  std::string path_;
  platform::TextOut& console_;
  WallClockMs wallClock_;
  std::string runId_;
};

}  // namespace driver
