#include "templatelib/configfile_support.h"

#include <gtest/gtest.h>

#include <utility>

namespace configtest {

std::vector<FlatNode> Flatten(const tAttribute* root) {
  std::vector<FlatNode> flat;
  if (root == nullptr) return flat;
  std::vector<std::pair<const tAttribute*, int>> stack{{root, 0}};
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    flat.push_back({depth, node->name.Text() ? node->name.Text() : "",
                    node->value.Text() ? node->value.Text() : ""});
    std::vector<const tAttribute*> children;
    for (auto it = node->Children(); const tAttribute* child = it.Next();)
      children.push_back(child);
    for (auto c = children.rbegin(); c != children.rend(); ++c) stack.push_back({*c, depth + 1});
  }
  return flat;
}

void PrintTo(const FlatNode& node, std::ostream* out) {
  *out << node.depth << ":" << node.name << "=" << node.value;
}

tAttribute* LoadText(tConfigSource& source, const testsupport::TempDir& dir,
                     const std::string& text, const std::string& name) {
  const std::string path = dir.file(name);
  testsupport::WriteWholeFile(path, text);
  return source.LoadAttributesFromFile(path.c_str(), 0, nullptr, nullptr);
}

tTableNodes TableOf(tConfigSource& source, const char* name) {
  tTableNodes nodes;
  EXPECT_EQ(source.FindTable(name, &nodes), S_OK) << name;
  return nodes;
}

void DrainHashNodePool() {
  tAllocator<tHashNode>& pool = HashNodePool();
  while (pool.FreeCount() > 0) delete pool.Take();
}

}  // namespace configtest
