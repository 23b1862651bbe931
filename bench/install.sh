#!/usr/bin/env bash
# The install as a user waits for it: our installer against a peer
# installer system's, installing the same tree unattended under Wine.
#
#   bash bench/install.sh [--runs N] [--windows]
#
# Builds, from the tree bench/gather-corpus.sh gathers (with --windows, its
# tree of Windows programs and documents): our installer at the
# default level, at level 9 and with the solid payload (how long that build
# takes is printed), and the peer's (makensis from Debian's
# `nsis`) with its zlib compressor and with LZMA solid, and a zlib one that
# also takes the steps ours takes for the product (an uninstaller, the App
# Paths and Uninstall registry values, four shortcuts), each with the stub
# of the architecture whose programs run here (tests/wine/wine-run.sh
# --arch: the x86 stubs where Wine's 32-bit loader runs, the amd64 ones
# elsewhere).  Then it installs each unattended as a whole process
# (`setup.exe /S /D=<folder>` against the peer's `/S /D=<folder>`), every
# run in a fresh copy of one Wine prefix whose wine server is started and
# warmed (one program run) before the clock starts; each installer is run once unclocked,
# then N times (default 3) in turns; the table gives the best time and the
# median (the goals are stated on the median of 7: --runs 7).  Every
# install is compared byte for byte with the tree.  The floor takes its
# turns the same way: install_floor (bench/installfloor.cpp, built with
# the same Windows build as the stub), a bare program that only creates the
# tree's files with their sizes, run under the same Wine.  The table gives
# each time over the peer's zlib installer's and over the floor's; the
# `tallowin extract` rows are the same installers unpacked natively (all
# cores), without Wine.  For reference the tree as one tar stream is
# compressed with xz -9e, plain and with its x86 filter on everything.
#
# The prefixes and installs live in /dev/shm when it is a tmpfs with room
# (TALLOWIN_BENCH_DIR chooses another folder): on disk the write-back of one
# run's 40-odd MB lands in the next runs, and times swing by a second.
#
# Needs the native build, the Windows build that runs here (windows or
# windows64: the stub and install_floor) and makensis; installs nsis when it
# is missing.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=3
windows=
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --windows) windows=--windows; shift ;;
    *) echo "install bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

arch=$(bash "$root/tests/wine/wine-run.sh" --arch)
if [ "$arch" = win32 ]; then
  stub=$root/build/windows/bin/setup.exe wine=$(command -v wine) nsistarget=x86-unicode
else
  stub=$root/build/windows64/bin/setup.exe wine=/usr/lib/wine/wine64 nsistarget=amd64-unicode
  export WINELOADER=$wine
fi
tallowin=$root/build/native/bin/tallowin
[ -x "$tallowin" ] || { echo "install bench: build the native preset first ($tallowin missing)" >&2; exit 2; }
[ -f "$stub" ] || { echo "install bench: build the Windows stub first ($stub missing)" >&2; exit 2; }
floorexe=$(dirname "$stub")/install_floor.exe
[ -f "$floorexe" ] || { echo "install bench: build the Windows preset first ($floorexe missing)" >&2; exit 2; }
if ! command -v makensis >/dev/null; then
  sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y nsis >/dev/null
fi

base=${TALLOWIN_BENCH_DIR:-}
if [ -z "$base" ]; then
  base=$root/build
  if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] &&
    [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt 2097152 ]; then
    base=/dev/shm
  fi
fi
work=$base/tallowin-bench-install
rm -rf "$work"
mkdir -p "$work"
export WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset DISPLAY WAYLAND_DISPLAY
server_of() { WINEPREFIX=$1 wineserver -k >/dev/null 2>&1 || true; }
cleanup() {
  for p in "$work"/prefix*; do [ -d "$p" ] && server_of "$p"; done
  rm -rf "$work"
}
trap cleanup EXIT

echo "install bench: gathering the tree" >&2
files=$work/product/files
bash "$root/bench/gather-corpus.sh" $windows "$files"
# The product's program: cmake in the Linux tree, a copy of one of the
# Windows programs at the top of the Windows tree.
exename=cmake
if [ -n "$windows" ]; then
  program=$(find "$files/programs" -type f -name '*.exe' | LC_ALL=C sort | head -n 1)
  exename=${program##*/}
  cp "$program" "$files/$exename"
fi
printf 'productname = "Benchmark"\nproductversion = "1"\nexename = "%s"\nstartmenufolder = "Benchmark"\ndefaultsubfolder = "Benchmark"\nfiles = "files"\n' "$exename" >"$work/product/product.toml"
[ "$nsistarget" = amd64-unicode ] && echo 'architecture = "x64"' >>"$work/product/product.toml"
bytes=$(find "$files" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
count=$(find "$files" -type f | wc -l)

echo "install bench: building the installers" >&2
"$tallowin" build "$work/product/product.toml" -o "$work/ours.exe" --stub "$stub" >/dev/null
"$tallowin" build "$work/product/product.toml" -o "$work/ours9.exe" --stub "$stub" --level 9 >/dev/null
solidstart=$(date +%s%N)
"$tallowin" build "$work/product/product.toml" -o "$work/ours-solid.exe" --stub "$stub" --compression solid >/dev/null
solidbuild=$(( ($(date +%s%N) - solidstart) / 1000000 ))
xzplain=$(tar -C "$files" -cf - . | xz -9e -T1 | wc -c)
xzx86=$(tar -C "$files" -cf - . | xz --x86 --lzma2=preset=9e -T1 | wc -c)
peer() {  # output, compressor line[, script of further steps]
  cat >"$work/peer.nsi" <<EOF
Unicode true
Target $nsistarget
!define EXENAME "$exename"
$2
Name "Benchmark"
OutFile "$1"
InstallDir "\$PROGRAMFILES\\Benchmark"
RequestExecutionLevel admin
Section
  SetOutPath "\$INSTDIR"
  File /r "$files/*"
  ${3:+!include "$3"}
SectionEnd
Section Uninstall
SectionEnd
EOF
  makensis -V1 "$work/peer.nsi" >/dev/null
}
# What ours does for this product besides the files, in the peer's words:
# the uninstaller, the App Paths and Uninstall values, the four shortcuts.
cat >"$work/peer-steps.nsh" <<'EOF'
WriteUninstaller "$WINDIR\peer-uninstall.exe"
!define APPPATHS "Software\Microsoft\Windows\CurrentVersion\App Paths\${EXENAME}"
!define UNINSTALL "Software\Microsoft\Windows\CurrentVersion\Uninstall\Benchmark"
WriteRegStr HKLM "${APPPATHS}" "" "$INSTDIR\${EXENAME}"
WriteRegStr HKLM "${APPPATHS}" "Path" "$INSTDIR"
WriteRegStr HKLM "${APPPATHS}" "Displayname" "Benchmark"
WriteRegStr HKLM "${APPPATHS}" "Startpath" "$INSTDIR"
WriteRegStr HKLM "${APPPATHS}" "Desktop" "1"
WriteRegStr HKLM "${APPPATHS}" "AppData" ""
WriteRegStr HKLM "${UNINSTALL}" "DisplayName" "Benchmark"
WriteRegStr HKLM "${UNINSTALL}" "UninstallString" "$WINDIR\peer-uninstall.exe"
WriteRegStr HKLM "${UNINSTALL}" "DisplayVersion" "1"
WriteRegStr HKLM "${UNINSTALL}" "DisplayIcon" "$INSTDIR\${EXENAME}"
WriteRegStr HKLM "${UNINSTALL}" "InstallLocation" "$INSTDIR"
WriteRegDWORD HKLM "${UNINSTALL}" "EstimatedSize" 42128
WriteRegDWORD HKLM "${UNINSTALL}" "NoModify" 1
WriteRegDWORD HKLM "${UNINSTALL}" "NoRepair" 1
WriteRegStr HKLM "${UNINSTALL}" "QuietUninstallString" "$WINDIR\peer-uninstall.exe /S"
CreateDirectory "$SMPROGRAMS\Benchmark"
CreateShortCut "$SMPROGRAMS\Benchmark\Benchmark.lnk" "$INSTDIR\${EXENAME}"
CreateShortCut "$STARTMENU\Benchmark.lnk" "$INSTDIR\${EXENAME}"
CreateShortCut "$SMPROGRAMS\Benchmark\Uninstall Benchmark.lnk" "$WINDIR\peer-uninstall.exe"
CreateShortCut "$DESKTOP\Benchmark.lnk" "$INSTDIR\${EXENAME}"
EOF
peer "$work/peer-zlib.exe" "SetCompressor zlib"
peer "$work/peer-lzma.exe" "SetCompressor /SOLID lzma"
peer "$work/peer-steps.exe" "SetCompressor zlib" "$work/peer-steps.nsh"
cp "$floorexe" "$work/floor.exe"

echo "install bench: making the prefix" >&2
TALLOWIN_WINEPREFIX=$work/prefix TALLOWIN_WINE_ARCH=$arch bash "$root/tests/wine/wine-run.sh" --init >/dev/null
TALLOWIN_WINEPREFIX=$work/prefix TALLOWIN_WINE_ARCH=$arch bash "$root/tests/wine/wine-run.sh" --shutdown >/dev/null
server_of "$work/prefix"
WINEPREFIX=$work/prefix wineserver -w 2>/dev/null || true
# The floor's list of the tree's files, inside the prefix: size and path.
(cd "$files" && find . -type f -printf '%s %P\n' | LC_ALL=C sort -k2) >"$work/prefix/drive_c/floor-list.txt"

names=("ours, default level" "ours, level 9" "ours, solid" "peer, zlib" "peer, LZMA solid" "peer, zlib, ours' steps" "floor")
exes=(ours.exe ours9.exe ours-solid.exe peer-zlib.exe peer-lzma.exe peer-steps.exe floor.exe)
zlib=3
floor=6
declare -A best all

# The files of a tree with their sizes, one line each.
sizes() { (cd "$1" && find . -type f -printf '%P %s\n' | LC_ALL=C sort); }

# One clocked install: a fresh copy of the prefix, its server started and
# warmed, then the installer as a whole process; the install is checked
# against the tree (the floor's by names and sizes).  Prints the
# microseconds.
install_once() {  # index
  local run=$work/prefix-run target start end status=0 args=(/S '/D=C:\benchout')
  [ "$1" -ne "$floor" ] || args=('C:\floor-list.txt' 'C:\benchout')
  server_of "$run"
  rm -rf "$run"
  # Wine's own files, which no install rewrites, as hard links; the
  # registry files, which the server rewrites, as copies.
  cp -al "$work/prefix" "$run"
  for reg in "$work/prefix"/*.reg; do cp --remove-destination "$reg" "$run/${reg##*/}"; done
  target=$run/drive_c/benchout
  (
    export WINEPREFIX=$run
    wineserver -p </dev/null >/dev/null 2>&1
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
    start=$(date +%s%N)
    "$wine" "$work/${exes[$1]}" "${args[@]}" </dev/null >"$work/out.txt" 2>&1 ||
      { echo "install bench: ${exes[$1]} failed:" >&2; cat "$work/out.txt" >&2; exit 1; }
    end=$(date +%s%N)
    if [ "$1" -eq "$floor" ]; then
      diff <(sizes "$files") <(sizes "$target") >"$work/diff.txt" 2>&1
    else
      # Our installer adds its install record (uninstall.dat) to the tree.
      diff -r -x uninstall.dat "$files" "$target" >"$work/diff.txt" 2>&1
    fi || { echo "install bench: ${exes[$1]} did not install the tree:" >&2; head "$work/diff.txt" >&2; exit 1; }
    echo $(((end - start) / 1000))
  ) || status=$?
  server_of "$run"
  return $status
}

for i in "${!exes[@]}"; do install_once "$i" >/dev/null || exit 1; done  # warm: page cache, Wine's own files
for ((round = 0; round < runs; round++)); do
  for i in "${!exes[@]}"; do
    t=$(install_once "$i") || exit 1
    [ -z "${best[$i]:-}" ] || [ "$t" -lt "${best[$i]}" ] && best[$i]=$t
    all[$i]="${all[$i]:-} $t"
  done
done
rm -rf "$work/prefix-run"

native() {  # installer: best of $runs native extractions
  local b= t start end
  for ((round = 0; round < runs; round++)); do
    rm -rf "$work/floor"
    start=$(date +%s%N)
    "$tallowin" extract "$1" -d "$work/floor" >/dev/null
    end=$(date +%s%N)
    t=$(((end - start) / 1000))
    [ -z "$b" ] || [ "$t" -lt "$b" ] && b=$t
  done
  echo "$b"
}
native6=$(native "$work/ours.exe")
native9=$(native "$work/ours9.exe")
nativesolid=$(native "$work/ours-solid.exe")

echo
echo "Tree: $count files, $bytes bytes; Wine $arch ($("$wine" --version 2>/dev/null)); $(nproc) cores; best and median of $runs"
echo "Prefixes and installs in $base ($(stat -f -c %T "$base"))"
echo "Load: $(uptime | sed 's/.*load average: //')"
echo
median() {  # microseconds...
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}
declare -A middle
for i in "${!exes[@]}"; do
  # shellcheck disable=SC2086
  middle[$i]=$(median ${all[$i]})
done
printf '| %-23s | %12s | %9s | %11s | %7s | %9s | %11s |\n' installer bytes best "x peer zlib" "x floor" median "x peer zlib"
printf '|%s|%s|%s|%s|%s|%s|%s|\n' "-------------------------" "--------------" "-----------" "-------------" "---------" "-----------" "-------------"
row() {  # name, bytes, microseconds[, median microseconds]
  awk -v n="$1" -v s="$2" -v t="$3" -v m="${4:-}" -v z="${best[$zlib]}" -v f="${best[$floor]}" -v zm="${middle[$zlib]}" \
    'BEGIN { printf "| %-23s | %12s | %9.3f | %11.2f | %7.2f |", n, s, t / 1e6, t / z, t / f
             if (m != "") printf " %9.3f | %11.2f |\n", m / 1e6, m / zm; else printf " %9s | %11s |\n", "", "" }'
}
for i in "${!exes[@]}"; do
  size=$(stat -c %s "$work/${exes[$i]}")
  [ "$i" -ne "$floor" ] || size=-
  row "${names[$i]}" "$size" "${best[$i]}" "${middle[$i]}"
done
row "tallowin extract" "$(stat -c %s "$work/ours.exe")" "$native6"
row "tallowin extract -9" "$(stat -c %s "$work/ours9.exe")" "$native9"
row "tallowin extract solid" "$(stat -c %s "$work/ours-solid.exe")" "$nativesolid"
echo
echo "Solid build: $solidbuild ms.  The tree as one tar stream: xz -9e $xzplain bytes, xz --x86 -9e $xzx86 bytes;"
echo "the solid installer's stub is $(stat -c %s "$stub") bytes of it."
