#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: native
# unit tests, the same unit tests as 32-bit Linux programs, the Windows test
# programs under Wine and the end-to-end runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
echo "== test"
way=$(tests/linux32/run32.sh --way)
case "$way" in
  direct) echo "32-bit unit tests (unit32): run directly" ;;
  qemu) echo "32-bit unit tests (unit32): run under qemu-i386 (this kernel runs no 32-bit programs)" ;;
  *) echo "32-bit unit tests (unit32): skipped: ${way#none: }" ;;
esac
ctest --preset native -j "$(nproc)" "$@"
