// Runs a fuzz target over every file of the folders it is given, without
// libFuzzer, so that ordinary test builds (and their sanitizer legs) repeat
// what the fuzzers found. A target signals a broken invariant by aborting.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(argv[i], ec)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++inputs;
    }
    if (ec) {
      std::fprintf(stderr, "cannot list %s: %s\n", argv[i], ec.message().c_str());
      return 1;
    }
  }
  std::printf("%d inputs replayed\n", inputs);
  return inputs > 0 ? 0 : 1;  // an empty corpus means the folder is wrong
}
