#!/usr/bin/env bash
# How CTest runs a Windows test: picks the Windows build and the prefix for
# the architecture Wine runs here, decided when the test runs (so that
# `TALLOWIN_WINE_ARCH=win64 ctest ...` runs the 64-bit build on a machine
# that could run both), then runs the test.
#
#   windows-test.sh BUILD_DIR [wine-run.sh arguments | SCRIPT.sh ARGS...]
#
# Exports TALLOWIN_WINE_ARCH, TALLOWIN_WINEPREFIX (BUILD_DIR/wine/prefix-<arch>)
# and TALLOWIN_WINDOWS_BIN (build/windows/bin or
# build/windows64/bin); every "@bin@" in the arguments becomes that folder.
# A first argument ending in ".sh" is run with bash, anything else is
# handed to wine-run.sh.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1
shift
TALLOWIN_WINE_ARCH=$("$here/wine-run.sh" --arch)
export TALLOWIN_WINE_ARCH
export TALLOWIN_WINEPREFIX=$build/wine/prefix-$TALLOWIN_WINE_ARCH
if [ "$TALLOWIN_WINE_ARCH" = win32 ]; then
  export TALLOWIN_WINDOWS_BIN=$root/build/windows/bin
else
  export TALLOWIN_WINDOWS_BIN=$root/build/windows64/bin
fi
args=()
for arg in "$@"; do args+=("${arg//@bin@/$TALLOWIN_WINDOWS_BIN}"); done
case "${args[0]:-}" in
  *.sh) exec bash "${args[@]}" ;;
  *) exec "$here/wine-run.sh" "${args[@]}" ;;
esac
