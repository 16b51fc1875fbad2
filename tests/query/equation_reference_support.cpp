#include "query/equation_reference_support.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace equation_reference {
namespace {

bool IsDigit(char c) { return c == '0' || c == '1'; }

// A flat run "d op d op d ..." left to right, equal precedence.
int ReduceFlat(const std::string& run) {
  size_t i = 0;
  while (i < run.size() && run[i] == ' ') ++i;
  if (i >= run.size() || !IsDigit(run[i])) return -1;
  int value = run[i++] - '0';
  while (i < run.size()) {
    if (i + 2 >= run.size()) return -1;
    std::string op = run.substr(i, 2);
    char digit = run[i + 2];
    if (!IsDigit(digit)) return -1;
    if (op == "&&") {
      value = value & (digit - '0');
    } else if (op == "||") {
      value = value | (digit - '0');
    } else {
      return -1;
    }
    i += 3;
  }
  return value;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

template <typename T>
bool Apply(T a, T b, const std::string& op) {
  if (op == "=") return a == b;
  if (op == "<") return a < b;
  if (op == ">") return a > b;
  if (op == "<=") return a <= b;
  if (op == ">=") return a >= b;
  return a != b;
}

}  // namespace

std::string RemoveRedundantParentheses(std::string text) {
  for (bool changed = true; changed;) {
    changed = false;
    for (size_t i = 0; i + 2 < text.size(); ++i) {
      if (text[i] == '(' && IsDigit(text[i + 1]) && text[i + 2] == ')') {
        text.replace(i, 3, 1, text[i + 1]);
        changed = true;
      }
    }
  }
  return text;
}

int Reduce(std::string text) {
  text = RemoveRedundantParentheses(text);
  size_t previous = SIZE_MAX;
  while (text.size() > 1) {
    if (text.size() >= previous) return -1;
    previous = text.size();
    std::string out;
    for (size_t i = 0; i < text.size();) {
      if (!IsDigit(text[i])) {
        out += text[i++];
        continue;
      }
      size_t end = std::min(text.find_first_of("()", i), text.size());
      std::string run = text.substr(i, end - i);
      if (IsDigit(run.back())) {
        int value = ReduceFlat(run);
        if (value < 0) return -1;
        out += static_cast<char>('0' + value);
      } else {
        out += run;
      }
      i = end;
    }
    text = RemoveRedundantParentheses(out);
  }
  if (text == "1") return 1;
  if (text == "0") return 0;
  return -1;
}

bool WildcardMatch(const std::string& text, const std::string& pattern) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == '*') {
    for (size_t skip = 0; skip <= text.size(); ++skip) {
      if (WildcardMatch(text.substr(skip), pattern.substr(1))) return true;
    }
    return false;
  }
  if (text.empty()) return false;
  bool same = pattern[0] == '?' ||
              std::tolower(static_cast<unsigned char>(pattern[0])) ==
                  std::tolower(static_cast<unsigned char>(text[0]));
  return same && WildcardMatch(text.substr(1), pattern.substr(1));
}

bool CompareField(const std::string& field, const std::string& op, const std::string& constant,
                  int valueType, bool wildcardClause) {
  switch (valueType) {
    case 0: {
      auto read = [](const std::string& s) {
        long long v = std::strtoll(s.c_str(), nullptr, 10);
        return static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
      };
      return Apply(read(field), read(constant), op);
    }
    case 1: {
      auto read = [](const std::string& s) {
        return static_cast<uint32_t>(std::strtoull(s.c_str(), nullptr, 10));
      };
      return Apply(read(field), read(constant), op);
    }
    case 2:
      return Apply(std::strtod(field.c_str(), nullptr), std::strtod(constant.c_str(), nullptr), op);
    default:
      if (op == "=") {
        return wildcardClause ? WildcardMatch(field, constant) : Lower(field) == Lower(constant);
      }
      if (op == "!=") return Lower(field) != Lower(constant);
      return Apply(Lower(field).compare(Lower(constant)), 0, op);
  }
}

}  // namespace equation_reference
