#!/usr/bin/env bash
# Fails, naming them, when any C++ file git tracks differs from what
# clang-format makes of it under .clang-format. `scripts/check-format.sh
# --fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
[[ ${1:-} == --fix ]] && fix=1
differ=()
while IFS= read -r -d '' file; do
  if ((fix)); then
    clang-format -i "$file"
  elif ! clang-format "$file" | cmp -s - "$file"; then
    differ+=("$file")
  fi
done < <(git ls-files -z -- '*.cpp' '*.h' '*.cc' '*.hpp')
if ((${#differ[@]})); then
  echo "These files differ from .clang-format (scripts/check-format.sh --fix rewrites them):" >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
