#!/usr/bin/env bash
# The main job: builds everything and shows what was built.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
echo
echo "Built:"
for dir in build/windows/bin build/windows64/bin build/native/bin; do
  [ -d "$dir" ] || continue
  find "$dir" -maxdepth 1 -type f -perm -u+x -printf '  %p  (%s bytes)\n' | sort
done
