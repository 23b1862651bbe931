#!/usr/bin/env bash
# The tallowin command end to end: build an installer from a generated
# product folder, then list, info, test and extract it, and check the exit
# status of failures (1: bad installer or product, 2: bad usage), --version
# and where a build without --stub finds the stub.
set -u
tallowin=$1
version=$2
unset TALLOWIN_STUB
work=$(realpath "$(mktemp -d)")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_status() {  # expected-status description command...
  local want=$1 what=$2; shift 2
  "$@" >"$work/stdout.txt" 2>"$work/stderr.txt"
  local got=$?
  [ "$got" -eq "$want" ] || fail "$what: exit $got, expected $want ($(head -c 300 "$work/stderr.txt"))"
}

cd "$work"
mkdir -p product/files/bin product/files/docs/deep
head -c 300000 /dev/urandom >product/files/bin/random.bin
seq 1 40000 >product/files/docs/numbers.txt
printf 'hello\n' >product/files/docs/deep/hello.txt
: >product/files/empty.dat
chmod 444 product/files/docs/numbers.txt
printf 'Terms.\nMore terms.\n' >product/license.txt
head -c 7000 /dev/urandom >stub.exe
cat >product/product.toml <<'TOML'
productname = "Vantrell"
productversion = "2.1"
exename = "random.bin"
startmenufolder = "Calderic/Vantrell"
defaultsubfolder = "Vantrell"
license = "license.txt"
files = "files"

[[shortcuts]]
target = "docs/numbers.txt"
caption = "Numbers"
TOML

export SOURCE_DATE_EPOCH=1700000000
expect_status 0 "build" "$tallowin" build product/product.toml -o setup.exe --stub stub.exe
cp setup.exe first.exe
expect_status 0 "rebuild" "$tallowin" build product/product.toml -o setup.exe --stub stub.exe --level 6
cmp -s setup.exe first.exe || fail "two builds of the same inputs differ"
cmp -s <(head -c 7000 setup.exe) stub.exe || fail "the installer does not begin with the stub"
# The compressing threads change nothing in the output.
for jobs in 1 4; do
  expect_status 0 "build -j $jobs" "$tallowin" build product/product.toml -o "j$jobs.exe" --stub stub.exe -j "$jobs"
done
cmp -s j1.exe j4.exe || fail "builds with -j 1 and -j 4 differ"
cmp -s j1.exe first.exe || fail "a build with -j 1 differs from one with the default threads"
expect_status 0 "build -j 4 --level 9" "$tallowin" build product/product.toml -o l9j4.exe --stub stub.exe -j 4 --level 9
expect_status 0 "build -j 1 --level 9" "$tallowin" build product/product.toml -o l9j1.exe --stub stub.exe -j 1 --level 9
cmp -s l9j1.exe l9j4.exe || fail "level 9 builds with -j 1 and -j 4 differ"
expect_status 2 "build -j 0" "$tallowin" build product/product.toml -o x.exe --stub stub.exe -j 0

expect_status 0 "list" "$tallowin" list setup.exe
grep -q "docs\\\\deep\\\\hello.txt" "$work/stdout.txt" || fail "list does not show docs\\deep\\hello.txt"
[ "$(wc -l <"$work/stdout.txt")" -eq 4 ] || fail "list shows $(wc -l <"$work/stdout.txt") lines, expected 4"
expect_status 0 "list --json" "$tallowin" list setup.exe --json
grep -q '"path": "bin\\\\random.bin", "filename": "random.bin", "subfolder": "\\\\bin", "size": 300000' "$work/stdout.txt" ||
  fail "list --json: $(cat "$work/stdout.txt")"

grep -q '"path": "docs\\\\numbers.txt".*"attributes": 33}' "$work/stdout.txt" ||
  fail "a file without write permission is not stored read-only: $(grep numbers "$work/stdout.txt")"
grep -q '"path": "docs\\\\deep\\\\hello.txt".*"attributes": 32}' "$work/stdout.txt" ||
  fail "an ordinary file is not stored with the archive attribute alone"

expect_status 0 "info --json" "$tallowin" info setup.exe --json
for want in '"productname": "Vantrell"' '"productversion": "2.1"' '"startmenufolder": "\\Calderic\\Vantrell"' \
            '"defaultsubfolder": "\\Vantrell"' '"haslicense": true' '"licenselength": 21' '"archiveoffset": 7000' \
            '"entries": 4' '"shortcuts": [{"target": "docs\\numbers.txt", "caption": "Numbers"}]'; do
  grep -qF "$want" "$work/stdout.txt" || fail "info --json lacks $want"
done

grep -qF '"signed": false' "$work/stdout.txt" && grep -qF '"certificatetable": 0' "$work/stdout.txt" ||
  fail "info --json calls an unsigned installer signed"
expect_status 0 "info" "$tallowin" info setup.exe
grep -qx "certificate:      none (not signed)" "$work/stdout.txt" || fail "info: $(grep certificate "$work/stdout.txt")"

expect_status 0 "test" "$tallowin" test setup.exe
grep -q "4 entries tested, 0 failed" "$work/stdout.txt" || fail "test: $(cat "$work/stdout.txt")"
[ ! -e bin ] && [ ! -e docs ] || fail "test wrote files"

expect_status 0 "extract" "$tallowin" extract setup.exe -d out
diff -r product/files out >/dev/null || fail "extracted files differ from the product's"
expect_status 0 "extract -j 1" "$tallowin" extract setup.exe -d out1 -j 1
diff -r product/files out1 >/dev/null || fail "files extracted by one thread differ from the product's"
expect_status 0 "test -j 3" "$tallowin" test setup.exe -j 3
grep -q "4 entries tested, 0 failed" "$work/stdout.txt" || fail "test -j 3: $(cat "$work/stdout.txt")"
[ "$(stat -c %a out/docs/numbers.txt)" = 444 ] || fail "the read-only file was extracted writable"

# Damage: an installer cut short, and a chunk mark overwritten.
head -c 20000 setup.exe >short.exe
expect_status 1 "list of a cut installer" "$tallowin" list short.exe
grep -q "No install files attached!" "$work/stderr.txt" || fail "cut installer: $(cat "$work/stderr.txt")"
cp setup.exe bad.exe
printf 'X' | dd of=bad.exe bs=1 seek=$((7000 + 2648)) conv=notrunc status=none
expect_status 1 "test of a damaged installer" "$tallowin" test bad.exe
grep -q 'entry 0 "bin\\random.bin": File corrupt' "$work/stderr.txt" || fail "damaged test: $(cat "$work/stderr.txt")"
expect_status 1 "extract of a damaged installer" "$tallowin" extract bad.exe -d badout
grep -q "File corrupt" "$work/stderr.txt" || fail "damaged extract: $(cat "$work/stderr.txt")"
[ ! -e badout/docs ] || fail "extract went on after the first failing entry"
expect_status 1 "extract -j 4 of a damaged installer" "$tallowin" extract bad.exe -d badout4 -j 4
grep -q 'entry 0 "bin\\random.bin": File corrupt' "$work/stderr.txt" || fail "damaged extract -j 4: $(cat "$work/stderr.txt")"
[ ! -e badout4/docs ] || fail "extract -j 4 went on after the first failing entry"

# Without --stub: TALLOWIN_STUB alone when set, else setup.exe beside the
# tool, else ../share/tallowin/setup.exe from the tool's real location; when
# none is there the error lists the places.
mkdir -p alone/bin alone/share/tallowin links
cp "$tallowin" alone/bin/tallowin
ln -s "$work/alone/bin/tallowin" links/tallowin
expect_status 1 "build with no stub anywhere" alone/bin/tallowin build product/product.toml -o nostub.exe
grep -qF "$work/alone/bin/setup.exe (beside tallowin)" "$work/stderr.txt" &&
  grep -qF "$work/alone/share/tallowin/setup.exe (tallowin's installed share folder)" "$work/stderr.txt" ||
  fail "no stub: $(cat "$work/stderr.txt")"
[ ! -e nostub.exe ] && [ ! -e nostub.exe.partial ] || fail "a build without a stub left a file"
expect_status 0 "--version without a stub" alone/bin/tallowin --version
[ "$(head -n 1 "$work/stdout.txt")" = "tallowin $version" ] || fail "--version: $(cat "$work/stdout.txt")"
grep -qF "stub: none found" "$work/stdout.txt" || fail "--version without a stub: $(cat "$work/stdout.txt")"
head -c 5000 /dev/urandom >alone/share/tallowin/setup.exe
expect_status 0 "build through a link, stub in share/" links/tallowin build product/product.toml -o shared.exe
cmp -s <(head -c 5000 shared.exe) alone/share/tallowin/setup.exe || fail "the stub in share/ was not used"
cp stub.exe alone/bin/setup.exe
expect_status 0 "build with a stub beside the tool" links/tallowin build product/product.toml -o beside.exe
cmp -s beside.exe first.exe || fail "setup.exe beside the tool was not preferred to the one in share/"
expect_status 0 "--version" links/tallowin --version
grep -qxF "stub: $work/alone/bin/setup.exe (beside tallowin)" "$work/stdout.txt" || fail "--version: $(cat "$work/stdout.txt")"
TALLOWIN_STUB=$work/alone/share/tallowin/setup.exe expect_status 0 "build with TALLOWIN_STUB" \
  alone/bin/tallowin build product/product.toml -o variable.exe
cmp -s <(head -c 5000 variable.exe) alone/share/tallowin/setup.exe || fail "TALLOWIN_STUB was not used"
TALLOWIN_STUB=$work/nowhere.exe expect_status 1 "build with TALLOWIN_STUB naming no file" \
  alone/bin/tallowin build product/product.toml -o wrong.exe
grep -qF "$work/nowhere.exe (TALLOWIN_STUB)" "$work/stderr.txt" && ! grep -q "beside" "$work/stderr.txt" ||
  fail "a wrong TALLOWIN_STUB: $(cat "$work/stderr.txt")"

# Bad products and bad usage.
sed 's/^productname = .*/productname = "'"$(printf 'x%.0s' $(seq 300))"'"/' product/product.toml >product/long.toml
expect_status 1 "build with a long productname" "$tallowin" build product/long.toml -o long.exe --stub stub.exe
grep -q "productname is 300 bytes long" "$work/stderr.txt" || fail "long productname: $(cat "$work/stderr.txt")"
[ ! -e long.exe ] && [ ! -e long.exe.partial ] || fail "a failed build left a file"
expect_status 2 "no command" "$tallowin"
expect_status 2 "unknown command" "$tallowin" frobnicate setup.exe
expect_status 2 "extract without -d" "$tallowin" extract setup.exe
expect_status 2 "bad level" "$tallowin" build product/product.toml -o x.exe --stub stub.exe --level 12
expect_status 1 "missing installer" "$tallowin" info nowhere.exe
grep -q "Unable to find Setup Files in" "$work/stderr.txt" || fail "missing installer: $(cat "$work/stderr.txt")"

[ "$failures" -eq 0 ] && echo "tallowin CLI: all checks passed"
exit $((failures > 0))
