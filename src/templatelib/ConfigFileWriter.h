// Writing an attribute tree in the configuration text format.
//
// Each node is one line: three spaces per level of depth, the name, one
// space, the value, carriage return and line feed (a node with an empty
// value is still followed by the space). A node with children is followed by
// "{" on a line of its own at the node's indentation, its children one level
// deeper, and "}" likewise. The walk keeps its own stack, so any depth
// writes without recursion.
//
// The text goes to a ConfigTextSink. Sinks report failure; the writer stops
// at the first failed write and says so.
//
// Thread safety: one thread at a time per tree and sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "templatelib/tAttribute.h"

class ConfigTextSink {
 public:
  virtual ~ConfigTextSink() = default;
  virtual bool Write(const char* data, size_t size) = 0;
  // The indentation before a line: `levels` times three spaces. Sinks that
  // must see the pieces one by one override it.
  virtual bool WriteIndent(int64_t levels);
};

// Collects the text in memory (tests, benchmarks, small texts).
class StringTextSink final : public ConfigTextSink {
 public:
  bool Write(const char* data, size_t size) override {
    text.append(data, size);
    return true;
  }
  std::string text;
};

// Writes `root` and everything below it. False when the sink failed.
bool WriteConfigTree(const tAttribute* root, ConfigTextSink& sink);
