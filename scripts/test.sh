#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: native
# unit tests, the Windows test programs under Wine and the end-to-end runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
echo "== test"
ctest --preset native -j "$(nproc)" "$@"
