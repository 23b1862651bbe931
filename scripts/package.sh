#!/usr/bin/env bash
# Makes the packages into build/packages/: tallowin_<version>_amd64.deb
# (the native tool, with the stubs of the windows and windows64 builds) and
# tallowin-<version>-windows.zip (tallowin.exe, setup.exe, setup64.exe, docs,
# examples).
#
#   bash scripts/package.sh [--no-build]
set -euo pipefail
cd "$(dirname "$0")/.."

build=1
for arg in "$@"; do
  case "$arg" in
    --no-build) build=0 ;;
    *) echo "usage: scripts/package.sh [--no-build]" >&2; exit 2 ;;
  esac
done

# The Windows builds first: both packages carry their stubs.
if [ "$build" = 1 ]; then
  bash scripts/install-deps.sh
  for preset in windows windows64 native; do
    echo "== build: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
  done
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/native/CMakeCache.txt)
out=build/packages
mkdir -p "$out"
for preset in windows native; do
  echo "== package: $preset"
  # CPack's staging stays in the build folder; only the packages land in $out.
  rm -rf "build/$preset/cpack"
  cpack --config "build/$preset/CPackConfig.cmake" -B "build/$preset/cpack" >/dev/null
done
cp "build/windows/cpack/tallowin-$version-windows.zip" \
   "build/native/cpack/tallowin_${version}_$(dpkg --print-architecture).deb" "$out/"
ls -l "$out"
