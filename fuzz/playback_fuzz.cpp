// Feeds arbitrary bytes, as an in-memory playback file, to the record reader
// and checks what must hold: every record read lies inside the file and is
// copied exactly, the buffer is never larger than the file (no size word
// sizes it on its own), and reading always comes to an end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "driver/PlaybackRecord.h"
#include "io/utFile.h"

namespace {

// Reads hand out at most `chunk` bytes at a time, as a real read may.
class MemoryFile final : public io::utFile {
 public:
  MemoryFile(const uint8_t* data, size_t size, uint32_t chunk)
      : data_(data), size_(static_cast<int64_t>(size)), chunk_(chunk) {}
  int Open(const std::string&, int32_t, uint32_t) override { return 0; }
  int Read(void* buffer, uint32_t length, uint32_t& bytesRead) override {
    const int64_t n = std::min<int64_t>({length, chunk_, size_ - position_});
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    bytesRead = static_cast<uint32_t>(n);
    return 0;
  }
  int Close() override { return 0; }
  int64_t GetPosition64() override { return position_; }
  int Seek64(int32_t, int64_t) override { return 1; }
  bool IsClosed() const override { return false; }
  int GetSize64(int64_t& size) const override {
    size = size_;
    return 0;
  }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t position_ = 0;
  uint32_t chunk_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file(data, size, static_cast<uint32_t>(size % 97 + 1));
  packet::SendBuffer buffer;
  // Every record is at least 32 bytes, so this many reads must reach the end.
  for (size_t reads = 0; reads <= size / 32 + 1; ++reads) {
    const driver::RecordRead read = driver::ReadNextRecord(file, buffer);
    if (buffer.size() > static_cast<int64_t>(size)) std::abort();
    if (read.status != driver::RecordRead::Status::kRecord) {
      if (read.status != driver::RecordRead::Status::kEnd &&
          driver::RecordProblemText(read).empty()) {
        std::abort();
      }
      return 0;
    }
    if (read.size < 32 || read.offset < 0 || read.offset + read.size > static_cast<int64_t>(size))
      std::abort();
    if (std::memcmp(buffer.data(), data + read.offset, static_cast<size_t>(read.size)) != 0)
      std::abort();
  }
  std::abort();  // the reader did not come to an end
}
