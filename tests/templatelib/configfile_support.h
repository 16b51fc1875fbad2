// Shared helpers of the configuration file tests: a flat description of a
// tree to compare trees by, and loading a text through a real file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "templatelib/tAttribute.h"
#include "templatelib/tConfigSource.h"

namespace configtest {

struct FlatNode {
  int depth;
  std::string name;
  std::string value;
  bool operator==(const FlatNode&) const = default;
};
// Readable failure messages.
void PrintTo(const FlatNode& node, std::ostream* out);
// Pre-order list of every node with its depth (walked without recursion).
std::vector<FlatNode> Flatten(const tAttribute* root);

// Writes `text` to `name` in `dir` and loads it into `source`.
tAttribute* LoadText(tConfigSource& source, const testsupport::TempDir& dir,
                     const std::string& text, const std::string& name = "test.config");

// Finds a table's nodes or fails the test.
tTableNodes TableOf(tConfigSource& source, const char* name);

// Empties the process-wide hash-node pool's free queue, so that tests which
// count that queue later find it as a fresh process would.
void DrainHashNodePool();

}  // namespace configtest
