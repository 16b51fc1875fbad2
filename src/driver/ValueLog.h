// The value log of /ValueLog: one CSV line (packet/ValueCsv.h) for every
// sample of the logged parameters that went out, the oracle a tester diffs
// an archive against.
//
// The streaming loop hands over each packet after its send completed, with
// the builder's notes of where the logged samples sit; the values are read
// from the packet bytes, so the log holds exactly what was sent. A packet
// built but not sent (dropped, stalled) or cut short is not handed over.
// Lines are gathered in memory, written whenever a few hundred kilobytes
// have gathered, and flushed to the file once a cycle and at the end of
// every transfer. The file is opened for appending; the header line is
// written when it is empty.
//
// Losing the file must never stop the stream: the first write that fails
// prints one line on the console and the file is written no more.
//
// Thread safety: one object, used by the main thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "packet/ParmTable.h"
#include "packet/SignalRun.h"
#include "platform/Status.h"
#include "platform/TextOut.h"

namespace driver {

// What the log needs of one packet that went out.
struct SentPacket {
  int64_t connection = 0;
  uint64_t sequence = 0;     // the tool's packet number, from 1
  int64_t packetTimeNs = 0;  // the data time of its first time word or entry
  const uint8_t* bytes = nullptr;
};

class ValueLog {
 public:
  // Fails with the system's reason when the file cannot be opened.
  // `names` are the listed names in table order; `nepTags` picks the NEP
  // tags of the records over the Custom ones.
  static platform::Status Open(const std::string& path, std::string runId,
                               const std::vector<std::string>* names,
                               const packet::ParmTable* table, bool nepTags,
                               platform::TextOut& console, std::unique_ptr<ValueLog>& out);
  ~ValueLog();
  ValueLog(const ValueLog&) = delete;
  ValueLog& operator=(const ValueLog&) = delete;

  void Add(const SentPacket& packet, const std::vector<packet::SampleTap>& taps);
  // Writes what was gathered and flushes the file; false once a write has
  // failed.
  bool Flush();

 private:
  ValueLog(std::FILE* file, std::string path, std::string runId,
           const std::vector<std::string>* names, const packet::ParmTable* table, bool nepTags,
           platform::TextOut& console);
  // Writes what was gathered (and flushes the file when told); false once a
  // write has failed.
  bool Write(bool flush);

  std::FILE* file_;
  std::string path_;
  std::string runId_;
  const std::vector<std::string>* names_;
  const packet::ParmTable* table_;
  bool nepTags_;
  platform::TextOut& console_;
  std::string pending_;
};

}  // namespace driver
