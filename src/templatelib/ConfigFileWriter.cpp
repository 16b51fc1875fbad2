#include "templatelib/ConfigFileWriter.h"

#include <cstring>
#include <vector>

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kSpaces[] = "                                                                ";
constexpr int64_t kIndentWidth = 3;

bool WriteText(ConfigTextSink& sink, const tString& text) {
  return text.IsNull() || sink.Write(text.Text(), static_cast<size_t>(text.Length()));
}

bool WriteNodeLine(ConfigTextSink& sink, const tAttribute& node, int64_t depth) {
  return sink.WriteIndent(depth) && WriteText(sink, node.name) && sink.Write(" ", 1) &&
         WriteText(sink, node.value) && sink.Write(kLineEnd, 2);
}

bool WriteBraceLine(ConfigTextSink& sink, const char* brace, int64_t depth) {
  return sink.WriteIndent(depth) && sink.Write(brace, 1) && sink.Write(kLineEnd, 2);
}

}  // namespace

bool ConfigTextSink::WriteIndent(int64_t levels) {
  int64_t spaces = levels * kIndentWidth;
  while (spaces > 0) {
    int64_t piece = spaces < static_cast<int64_t>(sizeof kSpaces - 1) ? spaces : sizeof kSpaces - 1;
    if (!Write(kSpaces, static_cast<size_t>(piece))) return false;
    spaces -= piece;
  }
  return true;
}

bool WriteConfigTree(const tAttribute* root, ConfigTextSink& sink) {
  if (root == nullptr) return true;
  // One entry per node whose children are being written: the iterator over
  // them and the node's depth (for its closing brace).
  struct Open {
    tGenericContainerIterator<tAttribute> children;
    int64_t depth;
  };
  std::vector<Open> open;
  const tAttribute* node = root;
  int64_t depth = 0;
  for (;;) {
    if (!WriteNodeLine(sink, *node, depth)) return false;
    if (node->ChildCount() > 0) {
      if (!WriteBraceLine(sink, "{", depth)) return false;
      open.push_back(Open{node->Children(), depth});
    }
    // The next node: the next child of the innermost open node, closing
    // every node whose children are done.
    node = nullptr;
    while (!open.empty()) {
      if (const tAttribute* next = open.back().children.Next()) {
        node = next;
        depth = open.back().depth + 1;
        break;
      }
      if (!WriteBraceLine(sink, "}", open.back().depth)) return false;
      open.pop_back();
    }
    if (node == nullptr) return true;
  }
}
