#!/usr/bin/env bash
# Installers on 64-bit Windows, in a private 64-bit Wine prefix
# (WINEARCH=win64).
#
# An x64 product (architecture = "x64") packed with the 64-bit stub,
# installed with /S: its files land in the 64-bit Program Files, its
# registration in the 64-bit registry view, its 64-bit service runs; the
# quiet uninstall leaves nothing.  The same product on the 32-bit stub is
# refused by the builder.
#
# The sample product packed with the 32-bit stub, installed through the
# wizard, checked where a 32-bit program's writes land (Program Files (x86),
# the 32-bit registry view), the service running, then uninstalled with the
# registered "UninstallString" and nothing left.  Then the 64-bit Program
# Files: refused as a destination, and left in place by an uninstall whose
# registration names it.
#
#   win64_prefix_test.sh TALLOWIN WIN32_BIN WIN64_BIN WORK
#
# WIN32_BIN and WIN64_BIN are the 32-bit and 64-bit Windows builds
# (setup.exe, vantrell.exe, vantrelld.exe, and demo_driver.exe of the
# 32-bit one).  Each part skips, saying why, where its build is missing or
# this machine cannot run 32-bit Windows programs; exit 77 (CTest's skip)
# when both do.
set -u
tallowin=$1
bin=$2
bin64=$3
work=$4
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_run=$root/tests/wine/wine-run.sh

skip32=
if [ "$(env -u TALLOWIN_WINE_ARCH "$wine_run" --arch)" != win32 ]; then
  skip32="this machine cannot run 32-bit Windows programs (Wine's 32-bit loader does not start)"
fi
for program in setup vantrell vantrelld demo_driver; do
  [ -n "$skip32" ] || [ -f "$bin/$program.exe" ] || skip32="$bin/$program.exe is not built (cmake --build --preset windows)"
done
skip64=
for program in setup vantrell vantrelld; do
  [ -n "$skip64" ] || [ -f "$bin64/$program.exe" ] || skip64="$bin64/$program.exe is not built (cmake --build --preset windows64)"
done
if [ -n "$skip32" ] && [ -n "$skip64" ]; then
  echo "SKIP: 32-bit part: $skip32; x64 part: $skip64"
  exit 77
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export TALLOWIN_WINEPREFIX=$work/prefix
export TALLOWIN_WINE_ARCH=win64
trap '"$wine_run" --shutdown >/dev/null 2>&1' EXIT
mkdir -p "$work"
cd "$work" || exit 1
# The sample product with the programs of one build; STAGE BIN.
stage() {
  rm -rf "$1"
  cp -r "$root/examples/vantrell" "$1"
  rm -rf "$1/src"
  cp "$2/vantrell.exe" "$2/vantrelld.exe" "$1/files/"
}

"$wine_run" --init || exit 1
drive_c=$TALLOWIN_WINEPREFIX/drive_c
[ -d "$drive_c/Program Files (x86)" ] || { echo "the prefix is not a 64-bit one"; exit 1; }
# The prefix's own 64-bit tools see both registry views.
reg() { "$wine_run" --timeout 60 "$drive_c/windows/system32/reg.exe" "$@" 2>/dev/null; }
sc() { "$wine_run" --timeout 60 "$drive_c/windows/system32/sc.exe" "$@" 2>/dev/null; }
uninstall32='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Vantrell'
uninstall64='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrell'
apppaths='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\vantrell.exe'

if [ -n "$skip64" ]; then
  echo "SKIP (x64 part): $skip64"
else
  stage stage64 "$bin64"
  { echo 'architecture = "x64"'; cat stage64/product.toml; } >stage64/x64.toml
  "$tallowin" build stage64/x64.toml -o setup64.exe --stub "$bin64/setup.exe" >build64.txt 2>&1 ||
    { cat build64.txt; exit 1; }
  if [ -f "$bin/setup.exe" ]; then
    "$tallowin" build stage64/x64.toml -o refused.exe --stub "$bin/setup.exe" >refused.txt 2>&1 &&
      fail "the x64 product was built on the 32-bit stub"
    grep -q 'built for x86, the product.s architecture is x64' refused.txt ||
      fail "the refusal of the 32-bit stub does not name both processors: $(cat refused.txt)"
    [ ! -e refused.exe ] || fail "the refused build left refused.exe"
  fi

  "$wine_run" --timeout 600 "$work/setup64.exe" /S /LOG=install64.log >run.txt 2>&1 || fail "x64 install: $(cat run.txt)"
  folder64="$drive_c/Program Files/Vantrell"
  for file in vantrell.exe vantrelld.exe readme.txt docs/guide.txt docs/help.html; do
    [ -f "$folder64/$file" ] || fail "$file is not in the 64-bit Program Files\\Vantrell"
  done
  [ ! -e "$drive_c/Program Files (x86)/Vantrell" ] || fail "the x64 installer wrote into Program Files (x86)"
  values=$(reg query "$uninstall64")
  for want in 'InstallLocation    REG_SZ    C:\Program Files\Vantrell' \
              'QuietUninstallString    REG_SZ    "C:\windows\Tallowin\vantrell-uninstall.exe" -ui vantrell.exe /S'; do
    grep -qF "$want" <<<"$values" || fail "the 64-bit view's uninstall key lacks: $want"
  done
  reg query "$uninstall32" >/dev/null && fail "the x64 installer's uninstall key landed in the 32-bit view"
  reg query "$apppaths" | grep -qF 'C:\Program Files\Vantrell\vantrell.exe' || fail "no App Paths key for the x64 install"
  grep -q 'RUNNING' <<<"$(sc query VantrellService)" || fail "the 64-bit VantrellService is not running"

  "$wine_run" --timeout 600 "$drive_c/windows/Tallowin/vantrell-uninstall.exe" -ui vantrell.exe /S >run.txt 2>&1 ||
    fail "x64 quiet uninstall: $(cat run.txt)"
  [ ! -e "$folder64" ] || fail "the x64 program folder is left"
  reg query "$uninstall64" >/dev/null && fail "the x64 uninstall key is left"
  reg query "$apppaths" >/dev/null && fail "the x64 App Paths key is left"
  for _ in $(seq 50); do grep -q 'RUNNING\|STOPPED' <<<"$(sc query VantrellService)" || break; sleep 0.2; done
  grep -q 'STATE' <<<"$(sc query VantrellService)" && fail "the x64 service is left"
  left=$(find "$drive_c" -iname '*vantrell*' 2>/dev/null)
  [ -z "$left" ] || fail "the x64 uninstall left: $left"
fi

if [ -n "$skip32" ]; then
  echo "SKIP (32-bit part): $skip32"
else
stage stage "$bin"
"$tallowin" build stage/product.toml -o setup32.exe --stub "$bin/setup.exe" >/dev/null || exit 1

"$wine_run" --timeout 600 "$bin/demo_driver.exe" install "$work/setup32.exe" >install.txt 2>&1 ||
  fail "install: $(cat install.txt)"
folder="$drive_c/Program Files (x86)/Vantrell"
for file in vantrell.exe vantrelld.exe readme.txt docs/guide.txt docs/help.html; do
  [ -f "$folder/$file" ] || fail "$file is not in Program Files (x86)\\Vantrell"
done
[ ! -e "$drive_c/Program Files/Vantrell" ] || fail "the 32-bit installer wrote into the 64-bit Program Files"
grep -q 'destination page: C:\\Program Files (x86)\\Vantrell' install.txt || fail "destination: $(grep destination install.txt)"

# The service: a 32-bit program, running.
state=$(sc query VantrellService)
grep -q 'RUNNING' <<<"$state" || fail "VantrellService is not running: $state"
[ -f "$folder/vantrelld.status" ] || fail "the service keeps no status file"

# The registration in the 32-bit view; App Paths is shared by both views.
values=$(reg query "$uninstall32")
for want in 'DisplayName    REG_SZ    Vantrell' 'UninstallString    REG_SZ    "C:\windows\Tallowin\vantrell-uninstall.exe" -ui vantrell.exe' \
            'DisplayVersion    REG_SZ    2.1' 'DisplayIcon    REG_SZ    C:\Program Files (x86)\Vantrell\vantrell.exe' \
            'InstallLocation    REG_SZ    C:\Program Files (x86)\Vantrell' 'NoModify    REG_DWORD    0x1' \
            'NoRepair    REG_DWORD    0x1' 'EstimatedSize    REG_DWORD    0x'; do
  grep -qF "$want" <<<"$values" || fail "the uninstall key lacks: $want"
done
reg query "$uninstall64" >/dev/null && fail "the uninstall key landed in the 64-bit view"
reg query "$apppaths" | grep -qF 'C:\Program Files (x86)\Vantrell\vantrell.exe' || fail "no App Paths key"

# The finish page started the program; close it as its user would (the
# uninstall driver starts a copy of its own for the uninstaller to close).
"$wine_run" --timeout 60 "$TALLOWIN_WINEPREFIX/drive_c/windows/system32/taskkill.exe" /im vantrell.exe >/dev/null 2>&1
sleep 2
# Uninstall from the registered command; nothing of the product is left.
"$wine_run" --timeout 600 "$bin/demo_driver.exe" uninstall >uninstall.txt 2>&1 || fail "uninstall: $(cat uninstall.txt)"
grep -qF 'UninstallString: "C:\windows\Tallowin\vantrell-uninstall.exe" -ui vantrell.exe' uninstall.txt || fail "$(head -3 uninstall.txt)"
[ ! -e "$folder" ] || fail "the program folder is left"
reg query "$uninstall32" >/dev/null && fail "the uninstall key is left"
reg query "$apppaths" >/dev/null && fail "the App Paths key is left"
for _ in $(seq 50); do grep -q 'RUNNING\|STOPPED' <<<"$(sc query VantrellService)" || break; sleep 0.2; done
grep -q 'STATE' <<<"$(sc query VantrellService)" && fail "the service is left"
left=$(find "$drive_c" -iname '*vantrell*' 2>/dev/null)
[ -z "$left" ] || fail "left behind: $left"

# The 64-bit Program Files, which the 32-bit program's shell never names:
# refused as a destination, and kept when a registration names it.
"$wine_run" --timeout 300 "$bin/demo_driver.exe" destination "$work/setup32.exe" 'C:\Program Files' \
  >destination.txt 2>&1 || fail "destination: $(cat destination.txt)"
grep -qF 'destination refused: The folder C:\Program Files cannot hold the program' destination.txt ||
  fail "the refusal does not name the folder: $(cat destination.txt)"
letterhex() {  # the registration's encoding: four letters A-P per UTF-16 unit
  local text=$1 out='' i c
  for ((i = 0; i < ${#text}; i++)); do
    printf -v c '%04X' "'${text:i:1}"
    out+=$(tr '0-9A-F' 'A-P' <<<"$c")
  done
  printf '%s' "$out"
}
guardkey='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\tlwguard.exe'
reg add "$guardkey" /v Displayname /d 'Tlw Guard' /f >/dev/null
reg add "$guardkey" /v Path /d "$(letterhex 'C:\Program Files')" /f >/dev/null
before=$(find "$drive_c/Program Files" -maxdepth 2 | sort)
[ -n "$before" ] || fail "the 64-bit Program Files is empty before the uninstall"
"$wine_run" --timeout 300 "$bin/demo_driver.exe" kept 'Tlw Guard' tlwguard.exe >kept.txt 2>&1 ||
  fail "uninstall of a registration naming C:\Program Files: $(cat kept.txt)"
[ "$(find "$drive_c/Program Files" -maxdepth 2 | sort)" = "$before" ] || fail "the 64-bit Program Files was changed"
reg query "$guardkey" >/dev/null || fail "the registration naming C:\Program Files was deleted"
reg delete "$guardkey" /f >/dev/null
fi

if [ "$failures" -eq 0 ]; then
  echo "64-bit prefix: all checks passed that ran"
  "$wine_run" --shutdown >/dev/null 2>&1
  rm -rf "$work"
  exit 0
fi
echo "$failures failures; the prefix is in $TALLOWIN_WINEPREFIX"
exit 1
