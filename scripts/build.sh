#!/usr/bin/env bash
# Configures and builds every target: the 32-bit Windows stub and tools, the
# 64-bit Windows build the Wine tests use on hosts without 32-bit support,
# the native host tools and tests, the 32-bit Linux build of the portable
# code and its unit tests (where 32-bit programs run, directly or under
# qemu-i386), and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
for preset in windows windows64 native; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# The unit test programs and tallowin at the stub's word size; the native
# test run runs them (label unit32).
way=$(tests/linux32/run32.sh --way)
if [ "${way%%:*}" = none ]; then
  echo "== build: native32 skipped (the 32-bit unit tests will be skipped): ${way#none: }"
else
  echo "== build: native32 (32-bit Linux; its tests run: $way)"
  cmake --preset native32 >/dev/null
  cmake --build --preset native32 -j "$jobs"
fi

# The fuzz targets, built with clang and the sanitizers; the native CTest
# run fuzzes with them for a bounded time.
echo "== build: fuzz"
cmake --preset fuzz >/dev/null
fuzz_targets=$(sed -n 's/^set(TALLOWIN_FUZZ_TARGETS \(.*\))$/\1/p' tests/fuzz/CMakeLists.txt)
cmake --build --preset fuzz -j "$jobs" --target $fuzz_targets
