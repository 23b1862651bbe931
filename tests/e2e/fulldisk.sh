#!/usr/bin/env bash
# Runs the full-disk end-to-end test: mounts a 1 MB tmpfs, gives Wine a
# drive on it (a dosdevices link in the test prefix), runs the test with
# TALLOWIN_SMALL_DRIVE naming that drive, and always unmounts.  Where
# mounting is not allowed (not root, no tmpfs), it says so and exits 77,
# which CTest reports as skipped.
#   fulldisk.sh WINE_RUN INSTALL_E2E_EXE
set -uo pipefail
wine_run=$1
program=$2
prefix=${TALLOWIN_WINEPREFIX:?TALLOWIN_WINEPREFIX is not set}

if [ "$(id -u)" != 0 ]; then
  echo "skipped: mounting the small file system needs root"
  exit 77
fi
mountpoint=$(mktemp -d /tmp/tallowin-fulldisk.XXXXXX)
link=""
cleanup() {
  [ -n "$link" ] && rm -f "$link"
  umount "$mountpoint" 2>/dev/null
  rmdir "$mountpoint" 2>/dev/null
}
trap cleanup EXIT
if ! mount -t tmpfs -o size=1m tmpfs "$mountpoint" 2>/dev/null; then
  echo "skipped: cannot mount a tmpfs here"
  exit 77
fi
letter=""
for candidate in t u v w s r; do
  if [ ! -e "$prefix/dosdevices/$candidate:" ]; then letter=$candidate; break; fi
done
[ -n "$letter" ] || { echo "no free drive letter in $prefix/dosdevices"; exit 1; }
link="$prefix/dosdevices/$letter:"
ln -s "$mountpoint" "$link"
output=$(TALLOWIN_SMALL_DRIVE="${letter^^}:" "$wine_run" "$program" --gtest_filter='FullDisk.*' 2>&1)
status=$?
echo "$output"
# The drive was given: a skip inside the program means it did not see it.
if grep -q "SKIPPED" <<<"$output"; then exit 1; fi
exit $status
