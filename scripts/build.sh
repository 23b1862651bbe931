#!/usr/bin/env bash
# Configures and builds every target: the 32-bit Windows stub and tools, the
# 64-bit Windows build the Wine tests use on hosts without 32-bit support,
# the native host tools and tests, and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
for preset in windows windows64 native; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# The fuzz targets, built with clang and the sanitizers; the native CTest
# run fuzzes with them for a bounded time.
echo "== build: fuzz"
cmake --preset fuzz >/dev/null
fuzz_targets=$(sed -n 's/^set(TALLOWIN_FUZZ_TARGETS \(.*\))$/\1/p' tests/fuzz/CMakeLists.txt)
cmake --build --preset fuzz -j "$jobs" --target $fuzz_targets
