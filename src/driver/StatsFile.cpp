#include "driver/StatsFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/File.h"
#include "platform/UtcTime.h"

namespace driver {

StatsField StatsField::Integer(std::string_view name, int64_t value) {
  return {std::string(name), value};
}

StatsField StatsField::Number(std::string_view name, double value, int digits) {
  // JSON has no NaN or infinity.
  if (!std::isfinite(value)) return {std::string(name), nullptr};
  const double scale = std::pow(10.0, digits);
  return {std::string(name), std::round(value * scale) / scale};
}

StatsField StatsField::Text(std::string_view name, std::string_view value) {
  return {std::string(name), std::string(value)};
}

StatsField StatsField::Json(std::string_view name, nlohmann::ordered_json value) {
  return {std::string(name), std::move(value)};
}

WallClockMs SystemWallClockMs() {
  return [] { return platform::WallClockNowMs(); };
}

std::string UtcTimeText(int64_t ms) { return platform::UtcTimeText(ms); }

platform::Status StatsFile::Open(const std::string& path, platform::TextOut& console,
                                 std::unique_ptr<StatsFile>& out, WallClockMs wallClock) {
  errno = 0;
  std::FILE* file = platform::OpenStreamForAppending(path);
  if (file == nullptr) {
    return platform::Status::IoError(errno != 0 ? std::strerror(errno) : "cannot be opened");
  }
  out.reset(new StatsFile(file, path, console, std::move(wallClock)));
  return platform::Status::Ok();
}

StatsFile::StatsFile(std::FILE* file, std::string path, platform::TextOut& console,
                     WallClockMs wallClock)
    : file_(file), path_(std::move(path)), console_(console), wallClock_(std::move(wallClock)) {}

StatsFile::~StatsFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void StatsFile::WriteEvent(std::string_view event, std::initializer_list<StatsField> fields) {
  WriteEvent(event, std::vector<StatsField>(fields));
}

void StatsFile::WriteEvent(std::string_view event, const std::vector<StatsField>& fields) {
  if (file_ == nullptr) return;
  nlohmann::ordered_json object;
  object["event"] = std::string(event);
  object["wall"] = UtcTimeText(wallClock_());
  object["run_id"] =
      runId_.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(runId_);
  for (const StatsField& field : fields) object[field.name] = field.value;
  // Text that is not UTF-8 (a path, a fault line) is written with the
  // replacement character rather than refused.
  std::string line = object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  line += '\n';
  errno = 0;
  const bool written =
      std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0;
  if (written) return;
  const std::string reason = errno != 0 ? std::strerror(errno) : "write failed";
  std::fclose(file_);
  file_ = nullptr;
  platform::Printf(console_,
                   "** Warning - Writing the statistics file %s failed (%s); it is not written "
                   "any more, the stream goes on\n",
                   path_.c_str(), reason.c_str());
}

}  // namespace driver
