#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, packs the sample
# product (examples/vantrell) into an installer and runs it under Wine.
#
#   bash scripts/demo.sh [--no-build] [--headless]
#
# With an X display (DISPLAY set) the real wizard opens on it for you to
# click through; afterwards the script shows what landed where.  Without one
# (or with --headless) a driver program clicks through the install and the
# uninstall under Xvfb, saving a screenshot of every page into
# build/demo/shots/, and the script shows what landed where after the
# install and what is left after the uninstall.
#
# Results: build/demo/vantrell-setup.exe (the shipped 32-bit installer,
# signed with a throwaway certificate; the unsigned build beside it),
# build/demo/prefix (the Wine prefix the demo ran in), build/demo/shots.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

build=1
headless=0
for arg in "$@"; do
  case "$arg" in
    --no-build) build=0 ;;
    --headless) headless=1 ;;
    *) echo "usage: scripts/demo.sh [--no-build] [--headless]" >&2; exit 2 ;;
  esac
done
[ -n "${DISPLAY:-}" ] || headless=1

# Where the builds are; the defaults are scripts/build.sh's folders.
native_bin=${TALLOWIN_DEMO_NATIVE_BIN:-$root/build/native/bin}
win32_bin=${TALLOWIN_DEMO_WIN32_BIN:-$root/build/windows/bin}
win64_bin=${TALLOWIN_DEMO_WIN64_BIN:-$root/build/windows64/bin}

if [ "$build" = 1 ]; then
  bash scripts/install-deps.sh
  bash scripts/build.sh
fi

wine_run=$root/tests/wine/wine-run.sh
arch=$("$wine_run" --arch)
if [ "$arch" = win32 ]; then run_bin=$win32_bin; else run_bin=$win64_bin; fi

demo=$root/build/demo
mkdir -p "$demo"
step() { echo; echo "== demo: $*"; }

# A copy of the product folder with the programs of one Windows build put
# into its files/ (the texts stay in examples/vantrell).
stage() {  # bin folder, staging folder
  local bin=$1 dir=$2
  for program in setup vantrell vantrelld; do
    [ -f "$bin/$program.exe" ] || { echo "demo: $bin/$program.exe is missing: build first" >&2; exit 1; }
  done
  rm -rf "$dir"
  cp -r examples/vantrell "$dir"
  rm -rf "$dir/src"
  cp "$bin/vantrell.exe" "$bin/vantrelld.exe" "$dir/files/"
}

step "packing the sample product"
stage "$win32_bin" "$demo/stage-win32"
"$native_bin/tallowin" build "$demo/stage-win32/product.toml" -o "$demo/vantrell-setup-unsigned.exe" \
  --stub "$win32_bin/setup.exe"
# Signing is the last step (docs/signing.md); the demo signs with a
# throwaway certificate, which Windows would not trust.
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  step "signing it with a throwaway certificate (osslsigncode)"
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Calderic (demo certificate)" \
    -keyout "$demo/demo-key.pem" -out "$demo/demo-cert.pem" >/dev/null 2>&1
  osslsigncode sign -certs "$demo/demo-cert.pem" -key "$demo/demo-key.pem" -n "Vantrell" \
    -in "$demo/vantrell-setup-unsigned.exe" -out "$demo/vantrell-setup.exe.partial" >/dev/null
  mv "$demo/vantrell-setup.exe.partial" "$demo/vantrell-setup.exe"
  osslsigncode verify -CAfile "$demo/demo-cert.pem" "$demo/vantrell-setup.exe" | grep -i 'signature verification'
else
  echo "demo: osslsigncode or openssl missing: the installer stays unsigned"
  cp "$demo/vantrell-setup-unsigned.exe" "$demo/vantrell-setup.exe"
fi
installer=$demo/vantrell-setup.exe
if [ "$arch" != win32 ]; then
  # This machine's Wine runs 64-bit programs only: the demo runs the same
  # product built from the 64-bit stub and programs.
  stage "$win64_bin" "$demo/stage-win64"
  sed -i '1i architecture = "x64"' "$demo/stage-win64/product.toml"
  "$native_bin/tallowin" build "$demo/stage-win64/product.toml" -o "$demo/vantrell-setup-win64.exe" \
    --stub "$win64_bin/setup.exe"
  installer=$demo/vantrell-setup-win64.exe
fi
"$native_bin/tallowin" info "$installer"
"$native_bin/tallowin" list "$installer"

export TALLOWIN_WINEPREFIX=$demo/prefix
export TALLOWIN_WINE_ARCH=$arch
trap '"$wine_run" --shutdown >/dev/null 2>&1 || true' EXIT
step "a fresh Wine prefix ($arch): $TALLOWIN_WINEPREFIX"
"$wine_run" --init

drive_c=$TALLOWIN_WINEPREFIX/drive_c
system32=$drive_c/windows/system32
wine_tool() { "$wine_run" --timeout 60 "$system32/$1.exe" "${@:2}" || true; }

# Everything of the product in the prefix: files and folders named after it,
# the uninstaller, the registration, the service.
show_state() {
  echo "-- files and folders (below $drive_c):"
  local found
  found=$(find "$drive_c" \( -iname '*vantrell*' -o -iname 'Tallowin' \) -prune -print 2>/dev/null | sort)
  if [ -z "$found" ]; then
    echo "   (none)"
  else
    while IFS= read -r path; do
      # Folders end in "/", files show their size.
      find "$path" \( -type d -printf '   %p/\n' \) -o \( -type f -printf '   %p\t%s bytes\n' \) |
        sed "s|^   $drive_c/|   |"
    done <<<"$found"
  fi
  echo "-- registry:"
  for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\vantrell.exe' \
             'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrell'; do
    local values
    values=$(wine_tool reg query "$key" 2>/dev/null)
    if grep -q '^HKEY_' <<<"$values"; then sed 's/^/   /' <<<"$values"; else echo "   $key: (absent)"; fi
  done
  echo "-- service VantrellService:"
  local service
  service=$(wine_tool sc query VantrellService 2>/dev/null)
  if grep -q 'STATE' <<<"$service"; then sed -n 's/^ *\(SERVICE_NAME\|STATE\).*/   &/p' <<<"$service"; else echo "   (not installed)"; fi
}

if [ "$headless" = 0 ]; then
  step "opening the installer on $DISPLAY: click through the wizard"
  "$wine_run" --desktop --timeout 3600 "$installer" || true
  step "after the installer"
  show_state
  echo
  echo "Uninstall it again with the registered command, for example:"
  echo "  TALLOWIN_WINEPREFIX=$TALLOWIN_WINEPREFIX TALLOWIN_WINE_ARCH=$arch \\"
  echo "    tests/wine/wine-run.sh --desktop $drive_c/windows/Tallowin/vantrell-uninstall.exe -ui vantrell.exe"
  exit 0
fi

shots=$demo/shots
rm -rf "$shots"
mkdir -p "$shots"
driver=$run_bin/demo_driver.exe
[ -f "$driver" ] || { echo "demo: $driver is missing: build first" >&2; exit 1; }

step "installing through the wizard (under Xvfb, no display here)"
"$wine_run" --xvfb --timeout 600 "$driver" install "$installer" "$shots"
step "what the installation put on the machine"
show_state

step "uninstalling with the registered UninstallString"
"$wine_run" --xvfb --timeout 600 "$driver" uninstall "$shots"
step "what is left after the uninstall"
show_state

step "screenshots"
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  png=${bmp%.bmp}.png
  if command -v convert >/dev/null && convert "$bmp" "$png" 2>/dev/null; then rm -f "$bmp"; fi
done
find "$shots" -type f -printf '  %p\n' | sort
echo
echo "The shipped installer: $demo/vantrell-setup.exe ($(stat -c %s "$demo/vantrell-setup.exe") bytes)"
