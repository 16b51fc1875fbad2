// Test-only reference for the where-clause engine: the pass-by-pass
// rewrite of an evaluated skeleton, done literally and slowly, and plain
// per-comparison truth computed with the standard library.
#pragma once

#include <string>

namespace equation_reference {

// Replaces every "(d)" by d until none is left.
std::string RemoveRedundantParentheses(std::string text);

// The outcome of a skeleton whose slots hold "0"/"1": 0 or 1, or -1 for the
// errors of the rewrite (a pass that does not shrink, a bad flat run, a
// final text other than one digit).
int Reduce(std::string text);

// "*" any run, "?" one character, the rest without regard to case.
bool WildcardMatch(const std::string& text, const std::string& pattern);

// One comparison: value type 0 Int, 1 UnsignedInt, 2 Float, 6 String; op as
// written ("=", "<", ">", "<=", ">=", "!=").
bool CompareField(const std::string& field, const std::string& op, const std::string& constant,
                  int valueType, bool wildcardClause);

}  // namespace equation_reference
