#!/usr/bin/env bash
# Sets up what a fresh Debian 12 machine lacks, builds Release and runs the
# stress tool with the given arguments.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target yebstress yebverify configsql
exec build/yebstress "$@"
