#!/usr/bin/env bash
# Configures and builds every target: the 32-bit Windows stub and tools, the
# 64-bit Windows build the Wine tests use on hosts without 32-bit support,
# and the native host tools and tests.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
for preset in windows windows64 native; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
