#!/usr/bin/env bash
# The Debian package end to end: CPack makes it from this build, dpkg-deb
# unpacks it into a temporary root, and the unpacked tool alone (no build
# tree on PATH, no TALLOWIN_STUB) builds the sample product with the stub
# the package carries, and the same product as an x64 one with the 64-bit
# stub it carries beside it; then a small CMake project finds the unpacked tree
# with find_package(Tallowin) and builds its installer target.  lintian's
# errors and warnings, where lintian is installed, count as failures.  The
# Windows zip, where the windows build is configured, carries both stubs.
#   package_test.sh CPACK CMAKE BUILD_DIR VERSION
set -u
cpack=$1 cmake=$2 build=$3 version=$4
work=$(realpath "$(mktemp -d)")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The unpacked tool and the CMake project see the system's programs only.
alone() { env -u TALLOWIN_STUB -u TALLOWIN_STUB64 PATH=/usr/bin:/bin "$@"; }

stub=$(sed -n 's/^TALLOWIN_STUB_EXE:FILEPATH=//p' "$build/CMakeCache.txt")
stub64=$(sed -n 's/^TALLOWIN_STUB64_EXE:FILEPATH=//p' "$build/CMakeCache.txt")
if [ ! -f "$stub" ] || [ ! -f "$stub64" ]; then
  echo "SKIP: the stubs to package (${stub:-TALLOWIN_STUB_EXE unset}, ${stub64:-TALLOWIN_STUB64_EXE unset}) are not" \
       "built: cmake --build --preset windows; cmake --build --preset windows64"
  exit 77
fi

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.txt" 2>&1 ||
  { cat "$work/cpack.txt"; echo "FAIL: cpack"; exit 1; }
deb=$work/pkg/tallowin_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$work/pkg"; echo "FAIL: no $deb"; exit 1; }

dpkg-deb --info "$deb" >"$work/info.txt" || fail "dpkg-deb --info"
for want in "Package: tallowin" "Version: $version" "Section: devel"; do
  grep -qx " $want" "$work/info.txt" || fail "control lacks $want: $(cat "$work/info.txt")"
done
grep -q "^ Depends: .*libc6" "$work/info.txt" || fail "no dependencies from the library scan: $(grep Depends "$work/info.txt")"
outside=$(dpkg-deb --contents "$deb" | awk '{print $6}' | grep -v -e '^\./$' -e '^\./usr/')
[ -z "$outside" ] || fail "files outside /usr: $outside"
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 || fail "lintian: $(grep -v '^[IPNX]:' "$work/lintian.txt")"
fi

root=$work/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
tool=$root/usr/bin/tallowin
shipped=$root/usr/share/tallowin/setup.exe
shipped64=$root/usr/share/tallowin/setup64.exe
product=$root/usr/share/tallowin/examples/vantrell/product.toml
[ -f "$root/usr/share/doc/tallowin/copyright" ] || fail "no copyright file"
cmp -s "$shipped" "$stub" || fail "the package's setup.exe is not $stub"
cmp -s "$shipped64" "$stub64" || fail "the package's setup64.exe is not $stub64"
# The manual page is the tool's own help: each command's description is there.
manpage=$root/usr/share/man/man1/tallowin.1.gz
if [ ! -f "$manpage" ]; then
  fail "no manual page"
elif command -v man >/dev/null; then
  LC_ALL=C MANWIDTH=200 man -l "$manpage" >"$work/man.txt" 2>&1 || fail "man -l: $(cat "$work/man.txt")"
  for command in build list info test extract; do
    what=$(alone "$tool" "$command" --help | head -n 1)
    grep -qF "$what" "$work/man.txt" || fail "the manual page lacks $command (\"$what\")"
  done
fi

cd "$work"
alone "$tool" --version >version.txt 2>&1 || fail "--version: $(cat version.txt)"
[ "$(cat version.txt)" = "tallowin $version
stub: $shipped (tallowin's installed share folder)
stub64: $shipped64 (tallowin's installed share folder)" ] || fail "--version: $(cat version.txt)"
# --level 1, as the CMake project below asks: both must give the same bytes.
export SOURCE_DATE_EPOCH=1700000000
alone "$tool" build "$product" -o vantrell-setup.exe --level 1 >build.txt 2>&1 || fail "build: $(cat build.txt)"
# The builder stamps the stub it uses: the same build with the packaged stub
# named gives the same bytes.
mkdir -p named
alone "$tool" build "$product" -o named/vantrell-setup.exe --level 1 --stub "$shipped" >build.txt 2>&1 ||
  fail "build --stub: $(cat build.txt)"
cmp -s vantrell-setup.exe named/vantrell-setup.exe || fail "the installer was not built with the packaged stub"
alone "$tool" info vantrell-setup.exe >info.txt 2>&1 && grep -qx "productname:      Vantrell" info.txt ||
  fail "info: $(cat info.txt)"
# The same product for x64 takes the 64-bit stub the package carries.
{ echo 'architecture = "x64"'; cat "$product"; } >"$(dirname "$product")/product64.toml"
alone "$tool" build "$(dirname "$product")/product64.toml" -o vantrell64-setup.exe --level 1 >build.txt 2>&1 ||
  fail "build x64: $(cat build.txt)"
alone "$tool" info vantrell64-setup.exe >info.txt 2>&1 && grep -qx "architecture:     x64" info.txt ||
  fail "info x64: $(cat info.txt)"
files=$(find "$(dirname "$product")/files" -type f | wc -l)
alone "$tool" test vantrell-setup.exe >test.txt 2>&1 && grep -q "^$files entries tested, 0 failed" test.txt ||
  fail "test: $(cat test.txt)"

# A product built with CMake: the ten lines docs/cmake.md shows.
mkdir project
cat >project/CMakeLists.txt <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(vantrell_installer NONE)
find_package(Tallowin $version REQUIRED)
tallowin_add_installer(installer
  PRODUCT "$product"
  OUTPUT vantrell-setup.exe
  LEVEL 1)
CMAKE
alone "$cmake" -S project -B project/build -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" >cmake.txt 2>&1 ||
  fail "configure: $(cat cmake.txt)"
alone "$cmake" --build project/build --target installer >cmake.txt 2>&1 || fail "build: $(cat cmake.txt)"
made=project/build/vantrell-setup.exe
cmp -s "$made" vantrell-setup.exe || fail "the installer target's output differs from the tool's own build"
before=$(stat -c %y "$made")
alone "$cmake" --build project/build --target installer >/dev/null 2>&1
[ "$(stat -c %y "$made")" = "$before" ] || fail "the installer was rebuilt with nothing changed"
touch -d '+1 minute' "$root/usr/share/tallowin/examples/vantrell/files/docs/guide.txt"
alone "$cmake" --build project/build --target installer >cmake.txt 2>&1 || fail "rebuild: $(cat cmake.txt)"
[ "$(stat -c %y "$made")" != "$before" ] || fail "a changed product file did not rebuild the installer"

# The Windows zip, made from the windows build beside this one, carries
# both stubs as they were built.
winbuild=$(dirname "$build")/windows
if [ -f "$winbuild/CPackConfig.cmake" ]; then
  if "$cpack" --config "$winbuild/CPackConfig.cmake" -G ZIP -B "$work/zip" >"$work/cpack.txt" 2>&1; then
    unzip -q -o "$work/zip/tallowin-$version-windows.zip" -d "$work/zipped" || fail "unzip"
    zipped=$work/zipped/tallowin-$version-windows
    cmp -s "$zipped/setup.exe" "$stub" || fail "the zip's setup.exe is not $stub"
    cmp -s "$zipped/setup64.exe" "$stub64" || fail "the zip's setup64.exe is not $stub64"
    [ -f "$zipped/tallowin.exe" ] || fail "the zip carries no tallowin.exe"
  else
    fail "cpack (zip): $(cat "$work/cpack.txt")"
  fi
else
  echo "SKIP (zip): $winbuild is not configured (cmake --preset windows)"
fi

[ "$failures" -eq 0 ] && echo "tallowin package: all checks passed"
exit $((failures > 0))
