#!/usr/bin/env bash
# Runs a program of the native32 build (32-bit Linux, i686-linux-gnu):
# directly where the kernel runs 32-bit programs, else under qemu-i386.
#
#   run32.sh --way               print how: "direct", "qemu" or "none: REASON"
#   run32.sh --emulator          print the command that runs a program here
#                                (nothing when it runs directly)
#   run32.sh PROGRAM [ARGS...]   run it with its exit code; 77 with the
#                                reason where it cannot run or is not built
#
# The programs load the cross compiler's own C library from its sysroot
# (/usr/i686-linux-gnu), never an i386 one of the host: a mismatched C
# library hangs a program in pthread_create.  Its dynamic loader, a 32-bit
# program itself, is the probe.
#
# TALLOWIN_LINUX32 narrows the choice: "qemu" never runs directly (as on a
# kernel without 32-bit support), "off" runs nothing.
set -u

sysroot=/usr/i686-linux-gnu
loader=$sysroot/lib/ld-linux.so.2
qemu=(qemu-i386 -L "$sysroot" -E "LD_LIBRARY_PATH=$sysroot/lib")
choice=${TALLOWIN_LINUX32:-}

way() {
  case "$choice" in
    ""|qemu) ;;
    off) echo "none: TALLOWIN_LINUX32=off"; return ;;
    *) echo "none: TALLOWIN_LINUX32 is \"$choice\", not qemu or off"; return ;;
  esac
  if [ ! -x "$loader" ] || ! command -v i686-linux-gnu-g++ >/dev/null; then
    echo "none: the i686 Linux cross compiler is not installed (package crossbuild-essential-i386)"
    return
  fi
  if [ -z "$choice" ] && "$loader" --version >/dev/null 2>&1; then
    echo direct
    return
  fi
  local kernel="this kernel runs no 32-bit programs"
  [ -z "$choice" ] || kernel="TALLOWIN_LINUX32=qemu"
  if ! command -v qemu-i386 >/dev/null; then
    echo "none: $kernel and qemu-i386 is not installed (package qemu-user)"
  elif ! "${qemu[@]}" "$loader" --version >/dev/null 2>&1; then
    echo "none: $kernel and qemu-i386 fails to start a 32-bit program"
  else
    echo qemu
  fi
}

case "${1:-}" in
  "") echo "usage: run32.sh --way | --emulator | PROGRAM [ARGS...]" >&2; exit 2 ;;
  --way) way; exit 0 ;;
  --emulator) [ "$(way)" = qemu ] && echo "${qemu[*]}"; exit 0 ;;
esac

how=$(way)
[ -f "$1" ] || { echo "skipped: $1 is not built (scripts/build.sh builds the native32 preset where 32-bit programs run)"; exit 77; }
case "$how" in
  direct) exec "$@" ;;
  qemu) exec "${qemu[@]}" "$@" ;;
  *) echo "skipped: no way to run 32-bit Linux programs here: ${how#none: }"; exit 77 ;;
esac
