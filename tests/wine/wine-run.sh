#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, never ~/.wine.
#
#   wine-run.sh --init              create a fresh 32-bit prefix and keep a
#                                   wine server alive for the test run
#   wine-run.sh --shutdown          stop that server
#   wine-run.sh --arch              print the architecture the tests use
#   wine-run.sh [--xvfb|--desktop] [--timeout SECONDS] PROGRAM.exe [ARGS...]
#                                   run PROGRAM, print its output, exit with
#                                   its exit code (124 on a timeout)
#
# The prefix is $TALLOWIN_WINEPREFIX, by default build/wine/prefix-<arch> in
# the source tree.  The architecture is $TALLOWIN_WINE_ARCH: win32 where this
# machine can run Wine's 32-bit loader, otherwise win64 (some kernels are
# built or booted without 32-bit support; the tests then run the 64-bit
# Windows build of the same sources).  Programs run with the null graphics driver (windows, common
# controls and message boxes work without an X server); --xvfb starts an Xvfb
# for the one run and switches the prefix to the X11 driver meanwhile, for
# screenshots.  --desktop shows the windows on the user's own X display
# ($DISPLAY) with the X11 driver, for a person to use; the prefix goes back
# to the null driver afterwards.
set -u

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
arch=${TALLOWIN_WINE_ARCH:-}
if [ -z "$arch" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then arch=win32; else arch=win64; fi
fi
if [ "$arch" = win32 ]; then
  WINE=$(command -v wine)
else
  # Debian's wrapper prefers the 32-bit loader whenever it is installed.
  WINE=/usr/lib/wine/wine64
  export WINELOADER=$WINE
fi
prefix=${TALLOWIN_WINEPREFIX:-$root/build/wine/prefix-$arch}
marker=$prefix/.tallowin-prefix

export WINEPREFIX=$prefix
export WINEARCH=$arch
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
user_display=${DISPLAY:-}
unset DISPLAY WAYLAND_DISPLAY

die() { echo "wine-run: $*" >&2; exit 125; }

case "$(realpath -m "$prefix")" in
  "$(realpath -m "${HOME:-/nonexistent}/.wine")"|/|"") die "refusing to use prefix $prefix" ;;
esac

# The server must never inherit our stdout/stderr: a test runner reading
# them through a pipe would then wait for the server to exit.
start_server() { wineserver -p </dev/null >/dev/null 2>&1; }

set_reg() {  # key value data
  "$WINE" reg add "$1" /v "$2" /d "$3" /f </dev/null >/dev/null 2>&1
}

init_prefix() {
  if [ -e "$prefix" ]; then
    [ -e "$marker" ] || die "$prefix exists and is not a prefix of ours; not touching it"
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
    rm -rf "$prefix"
  fi
  mkdir -p "$prefix" || die "cannot create $prefix"
  touch "$marker"
  "$WINE" wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  # A new prefix links Desktop, Documents and the like to $HOME: make them
  # real folders so that nothing a test does lands in the real home.
  for user in "$prefix"/drive_c/users/*; do
    [ -d "$user" ] || continue
    for link in "$user"/*; do
      if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
    done
  done
  start_server
  set_reg 'HKCU\Software\Wine\Drivers' Graphics null
  # Wine's own fonts hold no CJK characters.  Its links for the caption
  # font (Tahoma) and the dialog fonts name the Windows CJK fonts: replace
  # those with one that has the characters (fonts-wqy-microhei,
  # scripts/install-deps.sh), so that a product named in Japanese or
  # Chinese shows its name, in the window's caption bar too, in any locale.
  # (Links of our own on the dialog fonts would change their Latin text's
  # width in Wine; Wine writes its links again when the locale's code page
  # changes.)
  for face in 'MS UI Gothic' 'MS Gothic' 'MS PGothic' SimSun PMingLiU; do
    set_reg 'HKCU\Software\Wine\Fonts\Replacements' "$face" 'WenQuanYi Micro Hei'
  done
  set_reg 'HKCU\Software\Wine\X11 Driver' Managed N
  "$WINE" wineboot </dev/null >/dev/null 2>&1
}

xvfb_pid=
# The graphics driver is picked when a prefix's desktop process starts, so
# a switch takes effect only once the server and its processes restart.
restart_server() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  start_server
}

on_display=0
stop_xvfb() {
  if [ -n "$xvfb_pid" ] || [ "$on_display" = 1 ]; then
    set_reg 'HKCU\Software\Wine\Drivers' Graphics null
    [ "$on_display" = 1 ] && set_reg 'HKCU\Software\Wine\X11 Driver' Managed N
    restart_server
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null
  fi
}

use_desktop() {
  [ -n "$user_display" ] || die "--desktop needs an X display (DISPLAY is not set)"
  export DISPLAY=$user_display
  on_display=1
  # A person's desktop has a window manager: let it frame the windows.
  set_reg 'HKCU\Software\Wine\Drivers' Graphics x11
  set_reg 'HKCU\Software\Wine\X11 Driver' Managed Y
  restart_server
}

start_xvfb() {
  command -v Xvfb >/dev/null || die "Xvfb is not installed"
  local displayfile
  displayfile=$(mktemp)
  # -displayfd into a plain file: closing a pipe early would kill Xvfb.
  Xvfb -displayfd 7 -nolisten tcp -screen 0 1280x1024x24 7>"$displayfile" </dev/null >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    grep -q . "$displayfile" 2>/dev/null && [ "$(tail -c1 "$displayfile" | od -An -c | tr -d ' ')" = '\n' ] && break
    sleep 0.1
  done
  local number
  number=$(head -n1 "$displayfile")
  rm -f "$displayfile"
  [ -n "$number" ] || die "Xvfb did not start"
  export DISPLAY=:$number
  set_reg 'HKCU\Software\Wine\Drivers' Graphics x11
  restart_server
}

case "${1:-}" in
  --init) init_prefix; echo "wine prefix ready: $prefix ($arch)"; exit 0 ;;
  --arch) echo "$arch"; exit 0 ;;
  --shutdown) [ -e "$marker" ] && wineserver -k >/dev/null 2>&1; echo "wine server stopped"; exit 0 ;;
esac

xvfb=0
desktop=0
limit=300
while [ $# -gt 0 ]; do
  case "$1" in
    --xvfb) xvfb=1; shift ;;
    --desktop) desktop=1; shift ;;
    --timeout) limit=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || die "usage: wine-run.sh [--xvfb|--desktop] [--timeout S] PROGRAM.exe [ARGS...]"
[ "$xvfb$desktop" != 11 ] || die "--xvfb and --desktop exclude each other"
[ -f "$1" ] || die "no such program: $1"

[ -e "$marker" ] && [ -e "$prefix/system.reg" ] || init_prefix
start_server
trap stop_xvfb EXIT
[ "$xvfb" = 1 ] && start_xvfb
[ "$desktop" = 1 ] && use_desktop

out=$(mktemp); err=$(mktemp)
timeout --kill-after=10 "$limit" "$WINE" "$@" </dev/null >"$out" 2>"$err"
rc=$?
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
rm -f "$out" "$err"
[ "$rc" = 124 ] && echo "wine-run: $1 timed out after ${limit}s" >&2
exit "$rc"
