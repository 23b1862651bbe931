#!/usr/bin/env bash
# The tallowin command end to end: build an installer from a generated
# product folder, then list, info, test and extract it, and check the exit
# status of failures (1: bad installer or product, 2: bad usage), --version
# and where a build without --stub finds the stub; the product's
# architecture and scope as the builder stamps them.
# STUB is a stub of the Windows builds; without one the test is skipped (77).
# RUN32 TALLOWIN32, when given, are tests/linux32/run32.sh and the 32-bit
# Linux build's tallowin, checked against this one where it runs.
# The product is built for the stub's architecture; OTHER_STUB, when given,
# is the stub of the other one.
set -u
tallowin=$(realpath "$1")
version=$2
realstub=${3:-}
run32=${4:+$(realpath -m "$4")}
tallowin32=${5:+$(realpath -m "$5")}
[ -z "$realstub" ] || realstub=$(realpath -m "$realstub")
[ -f "$realstub" ] || { echo "skipped: no Windows stub built ($realstub)"; exit 77; }
otherstub=${6:-}
[ -z "$otherstub" ] || otherstub=$(realpath -m "$otherstub")
unset TALLOWIN_STUB TALLOWIN_STUB64
# The stub's processor, from its PE file header: x86 (332) or x64 (34404).
machine_of() { od -An -tu2 -j$(( $(od -An -tu4 -j60 -N4 "$1" | tr -d ' ') + 4 )) -N2 "$1" | tr -d ' '; }
case $(machine_of "$realstub") in
  332) arch=x86 other=x64 stubname=setup.exe stubvar=TALLOWIN_STUB stubline=stub ;;
  34404) arch=x64 other=x86 stubname=setup64.exe stubvar=TALLOWIN_STUB64 stubline=stub64 ;;
  *) echo "FAIL: $realstub is neither an x86 nor an x64 program"; exit 1 ;;
esac
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
cp "$realstub" stub.exe
printf '\0\0\1\0\0\0' >bad.ico
cat >product/product.toml <<TOML
productname = "Vantrell"
productversion = "2.1"
exename = "empty.dat"
startmenufolder = "Calderic/Vantrell"
defaultsubfolder = "Vantrell"
license = "license.txt"
files = "files"
$( [ $arch = x64 ] && echo 'architecture = "x64"' )

[[shortcuts]]
target = "docs/numbers.txt"
caption = "Numbers"
TOML

export SOURCE_DATE_EPOCH=1700000000
expect_status 0 "build" "$tallowin" build product/product.toml -o setup.exe --stub stub.exe
cp setup.exe first.exe
expect_status 0 "rebuild" "$tallowin" build product/product.toml -o setup.exe --stub stub.exe --level 6
cmp -s setup.exe first.exe || fail "two builds of the same inputs differ"
# The stub is stamped before the payload: archiveoffset is its new size.
archiveoffset=$("$tallowin" info setup.exe --json | sed -n 's/^ "archiveoffset": \([0-9]*\),$/\1/p')
[ -n "$archiveoffset" ] && cmp -s <(head -c 128 setup.exe) <(head -c 128 stub.exe) ||
  fail "the installer does not begin with the stub's DOS header"
# The compressing threads change nothing in the output.
# (Same file names: the stub's version resource names the output file.)
for jobs in 1 4; do
  mkdir -p "j$jobs" "l9j$jobs"
  expect_status 0 "build -j $jobs" "$tallowin" build product/product.toml -o "j$jobs/setup.exe" --stub stub.exe -j "$jobs"
  expect_status 0 "build -j $jobs --level 9" "$tallowin" build product/product.toml -o "l9j$jobs/setup.exe" --stub stub.exe -j "$jobs" --level 9
done
cmp -s j1/setup.exe j4/setup.exe || fail "builds with -j 1 and -j 4 differ"
cmp -s j1/setup.exe first.exe || fail "a build with -j 1 differs from one with the default threads"
cmp -s l9j1/setup.exe l9j4/setup.exe || fail "level 9 builds with -j 1 and -j 4 differ"
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
            '"defaultsubfolder": "\\Vantrell"' '"haslicense": true' '"licenselength": 21' \
            '"entries": 4' '"checksum": true' '"checksumstate": "intact"' '"picture": true' '"icon": true' \
            '"publisher": ""' '"fileversion": "2.1.0.0"' '"shortcuts": [{"target": "docs\\numbers.txt", "caption": "Numbers"}]'; do
  grep -qF "$want" "$work/stdout.txt" || fail "info --json lacks $want"
done

grep -qF '"signed": false' "$work/stdout.txt" && grep -qF '"certificatetable": 0' "$work/stdout.txt" ||
  fail "info --json calls an unsigned installer signed"
grep -qF '"checkcovers": "file"' "$work/stdout.txt" || fail "info --json: the check does not cover the whole file"
expect_status 0 "info" "$tallowin" info setup.exe
grep -qx "certificate:      none (not signed)" "$work/stdout.txt" || fail "info: $(grep certificate "$work/stdout.txt")"
grep -q "^checksum: .* over the whole file, $(stat -c %s setup.exe) bytes (intact)$" "$work/stdout.txt" ||
  fail "info: $(grep checksum "$work/stdout.txt")"

# Declarations: none in this product, listed when a product has them.
expect_status 0 "info --json" "$tallowin" info setup.exe --json
grep -qF '"declarations": {"registry": [], "startatsignin": false' "$work/stdout.txt" ||
  fail "info --json: $(grep declarations "$work/stdout.txt")"
sed 's/^productversion = "2.1"$/&\nstartatsignin = "\/tray"/' product/product.toml >product/declaring.toml
sed -i 's/^productversion = "2.1"$/&\npath = ["bin"]/' product/declaring.toml
printf '[[registry]]\nkey = %s\nname = "Port"\ntype = "dword"\nvalue = 27000\n' "'Software\\Calderic\\Vantrell'" \
  >>product/declaring.toml
printf '[[tasks]]\nname = "assoc"\ntext = "Open .vtr files"\n[[filetypes]]\nprogid = "Calderic.Vantrell.Doc.1"\n' >>product/declaring.toml
printf 'description = "Numbers"\nextensions = [".vtr"]\nprogram = "bin/random.bin"\ntask = "assoc"\n' >>product/declaring.toml
expect_status 0 "build with declarations" "$tallowin" build product/declaring.toml -o declaring.exe --stub stub.exe
expect_status 0 "info --json with declarations" "$tallowin" info declaring.exe --json
grep -qF '"registry": [{"root": "HKLM", "key": "Software\\Calderic\\Vantrell", "name": "Port", "type": "dword", "value": "27000", "task": ""}], "startatsignin": true, "signinarguments": "/tray"' \
  "$work/stdout.txt" || fail "info --json: $(grep declarations "$work/stdout.txt")"
expect_status 0 "info with declarations" "$tallowin" info declaring.exe
grep -qxF 'registry:         HKLM\Software\Calderic\Vantrell\Port (dword) = 27000' "$work/stdout.txt" ||
  fail "info: $(grep registry "$work/stdout.txt")"
for want in 'path:             {app}\bin' 'task:             assoc (checked) "Open .vtr files"' \
            'filetype:         Calderic.Vantrell.Doc.1 "Numbers" for .vtr [task assoc]' \
            '  verb open:       "{app}\bin\random.bin" "%1"'; do
  grep -qxF "$want" "$work/stdout.txt" || fail "info lacks: $want"
done
printf '[[registry]]\nkey = %s\ntype = "string"\nvalue = "x"\n' "'Software\\Microsoft\\Windows\\CurrentVersion\\Run'" \
  >>product/declaring.toml
expect_status 1 "build writing a shared key" "$tallowin" build product/declaring.toml -o refused.exe --stub stub.exe
grep -qF 'registry[1].key "Software\Microsoft\Windows\CurrentVersion\Run" lies in Software\Microsoft' "$work/stderr.txt" ||
  fail "the shared key is not named: $(cat "$work/stderr.txt")"

# Names in any script: the trailer gets the 8-bit form, info and plan show
# both; the next version names the same uninstall key, so diff sees an update.
programs=$([ $arch = x64 ] && echo 'C:\Program Files' || echo 'C:\Program Files (x86)')
sed 's/^productname = .*/productname = "ヴァントレル"\npublisher = "Каледрик"/' product/product.toml >product/names.toml
expect_status 0 "build a product named in Japanese" "$tallowin" build product/names.toml -o names.exe --stub stub.exe
expect_status 0 "info of a product named in Japanese" "$tallowin" info names.exe
grep -qx 'productname:      ヴァントレル' "$work/stdout.txt" || fail "info: $(grep product "$work/stdout.txt")"
productkey=$(sed -n 's/^productkey: *\(______~[0-9a-f]\{8\}\) (the 8-bit form.*/\1/p' "$work/stdout.txt")
[ -n "$productkey" ] || fail "info shows no 8-bit form: $(grep product "$work/stdout.txt")"
grep -qx 'publisher:        Каледрик' "$work/stdout.txt" || fail "info: $(grep publisher "$work/stdout.txt")"
expect_status 0 "info --json of a product named in Japanese" "$tallowin" info names.exe --json
grep -qF "\"productname\": \"ヴァントレル\",
 \"productkey\": \"$productkey\"" <(tr -d '\r' <"$work/stdout.txt") || fail "info --json: $(grep product "$work/stdout.txt")"
expect_status 0 "plan of a product named in Japanese" "$tallowin" plan names.exe
for want in "registered as: $productkey" \
            "  shortcut    %APPDATA%\Microsoft\Windows\Start Menu\Programs\Calderic\Vantrell\ヴァントレル.lnk  $programs\Vantrell\empty.dat" \
            "  registry    HKLM\software\microsoft\windows\currentversion\uninstall\\$productkey\DisplayName = REG_SZ ヴァントレル" \
            "  registry    HKLM\software\microsoft\windows\currentversion\uninstall\\$productkey\Publisher = REG_SZ Каледрик"; do
  grep -qxF "$want" "$work/stdout.txt" || fail "plan lacks: $want"
done
sed 's/^productversion = "2.1"$/productversion = "2.2"/' product/names.toml >product/names2.toml
expect_status 0 "build its next version" "$tallowin" build product/names2.toml -o names2.exe --stub stub.exe
expect_status 0 "diff of a product named in Japanese" "$tallowin" diff names.exe names2.exe
grep -q '^ヴァントレル 2.1 -> ヴァントレル 2.2: update' "$work/stdout.txt" || fail "diff: $(head -1 "$work/stdout.txt")"
# A name with a control character, or one whose 8-bit form is too long.
sed 's/^productname = .*/productname = "Van\\ttrell"/' product/product.toml >product/bad.toml
expect_status 1 "a name with a tab" "$tallowin" build product/bad.toml -o bad.exe --stub stub.exe
grep -qF 'productname holds a control character' "$work/stderr.txt" || fail "a tab in the name: $(cat "$work/stderr.txt")"

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

# The solid payload: the kind record in the stub, the same files out, the
# same bytes with any number of threads; a bad kind is a usage error.
mkdir -p solid1 solid2
expect_status 0 "build --compression solid" "$tallowin" build product/product.toml -o solid1/setup.exe --stub stub.exe --compression solid -j 1
expect_status 0 "build --compression solid -j 2" "$tallowin" build product/product.toml -o solid2/setup.exe --stub stub.exe --compression solid -j 2
cmp -s solid1/setup.exe solid2/setup.exe || fail "solid builds with -j 1 and -j 2 differ"
expect_status 0 "info of a solid installer" "$tallowin" info solid1/setup.exe --json
grep -qF '"compression": "solid"' "$work/stdout.txt" || fail "info --json: the installer is not solid"
expect_status 0 "test of a solid installer" "$tallowin" test solid1/setup.exe
grep -q "4 entries tested, 0 failed" "$work/stdout.txt" || fail "solid test: $(cat "$work/stdout.txt")"
expect_status 0 "extract of a solid installer" "$tallowin" extract solid1/setup.exe -d solidout
diff -r product/files solidout >/dev/null || fail "files extracted from the solid installer differ from the product's"
[ "$(stat -c %a solidout/docs/numbers.txt)" = 444 ] || fail "the read-only file was extracted writable from the solid installer"
expect_status 2 "build --compression zip" "$tallowin" build product/product.toml -o x.exe --stub stub.exe --compression zip

# A prerequisite rides along as an entry of its own, in both payload kinds:
# listed as one, tested, shown by info and plan; a [[run]] program is the product's.
mkdir -p product/redist
printf 'runtime' >product/redist/runtime.exe
cp product/product.toml product/prereq.toml
printf '[[prerequisites]]\nfile = "redist/runtime.exe"\ncaption = "Runtime"\narguments = "/quiet"\n' >>product/prereq.toml
printf 'check = { registry = %s, value = "Version", minversion = "14.38" }\n' "'HKLM\\Software\\Vendor\\Runtime'" >>product/prereq.toml
printf '[[run]]\nwhen = "beforeuninstall"\nprogram = "bin/random.bin"\narguments = "--unregister {version}"\n' >>product/prereq.toml
for kind in per-file solid; do
  expect_status 0 "build with a prerequisite ($kind)" "$tallowin" build product/prereq.toml -o prereq-$kind.exe --stub stub.exe --compression $kind
  expect_status 0 "list with a prerequisite ($kind)" "$tallowin" list prereq-$kind.exe
  grep -qF "~tallowin-prerequisites/runtime.exe	(a prerequisite: run before the install, never installed)" "$work/stdout.txt" ||
    grep -qF '~tallowin-prerequisites\runtime.exe	(a prerequisite: run before the install, never installed)' "$work/stdout.txt" ||
    fail "list ($kind): $(cat "$work/stdout.txt")"
  expect_status 0 "test with a prerequisite ($kind)" "$tallowin" test prereq-$kind.exe
  grep -q "5 entries tested, 0 failed" "$work/stdout.txt" || fail "test ($kind): $(cat "$work/stdout.txt")"
done
expect_status 0 "info with a prerequisite" "$tallowin" info prereq-per-file.exe
for want in 'prerequisite:     "Runtime": runtime.exe /quiet (success 0,3010,1638), skipped when HKLM\Software\Vendor\Runtime\Version is there at version 14.38 or later' \
            'run:              beforeuninstall: "{app}\bin\random.bin" --unregister {version}'; do
  grep -qxF "$want" "$work/stdout.txt" || fail "info lacks: $want; $(grep -E '^(prerequisite|run):' "$work/stdout.txt")"
done
expect_status 0 "plan with a prerequisite" "$tallowin" plan prereq-per-file.exe
grep -qF 'runtime.exe' "$work/stdout.txt" || fail "plan: no prerequisite: $(head -5 "$work/stdout.txt")"
grep -qF -- '--unregister 2.1' "$work/stdout.txt" || fail "plan: no program before the uninstall"
grep -q 'tallowin-prerequisites' "$work/stdout.txt" && fail "plan installs the prerequisite into the program folder"
expect_status 0 "extract with a prerequisite" "$tallowin" extract prereq-per-file.exe -d prereqout
cmp -s product/redist/runtime.exe prereqout/~tallowin-prerequisites/runtime.exe || fail "the prerequisite was not extracted whole"
# The product's own entries are the same as without the prerequisite.
cmp -s <("$tallowin" list setup.exe) <("$tallowin" list prereq-per-file.exe | grep -v prerequisite) ||
  fail "a prerequisite changed the other entries"

# The 32-bit tallowin (the word size of the stub's decoder) makes the same
# installers and extracts them to the same files.
if [ -n "$run32" ]; then
  way=$("$run32" --way)
  if [ ! -f "$tallowin32" ] || [ "${way%%:*}" = none ]; then
    echo "32-bit tallowin skipped: $([ -f "$tallowin32" ] && echo "${way#none: }" || echo "$tallowin32 is not built")"
  else
    mkdir -p x32 x32l9
    expect_status 0 "32-bit build" "$run32" "$tallowin32" build product/product.toml -o x32/setup.exe --stub stub.exe
    cmp -s x32/setup.exe first.exe || fail "the 32-bit tallowin built a different installer"
    expect_status 0 "32-bit build --level 9" "$run32" "$tallowin32" build product/product.toml -o x32l9/setup.exe --stub stub.exe --level 9
    cmp -s x32l9/setup.exe l9j1/setup.exe || fail "the 32-bit tallowin built a different level 9 installer"
    # Without liblzma it cannot write a solid payload, and says so; it reads one.
    expect_status 1 "32-bit build --compression solid" "$run32" "$tallowin32" build product/product.toml -o x32/solid.exe --stub stub.exe --compression solid
    grep -q "built without liblzma" "$work/stderr.txt" || fail "32-bit solid build: $(cat "$work/stderr.txt")"
    for installer in setup.exe l9j1/setup.exe solid1/setup.exe; do
      rm -rf out32
      expect_status 0 "32-bit extract of $installer" "$run32" "$tallowin32" extract "$installer" -d out32
      diff -r product/files out32 >/dev/null || fail "the 32-bit tallowin extracted other files from $installer"
    done
    expect_status 0 "32-bit test -j 1" "$run32" "$tallowin32" test setup.exe -j 1
    grep -q "4 entries tested, 0 failed" "$work/stdout.txt" || fail "32-bit test: $(cat "$work/stdout.txt")"
    echo "32-bit tallowin ($way): checked"
  fi
fi

# Damage: an installer cut short (in its trailer, in its payload), and a
# chunk mark overwritten: the payload check refuses them all with the
# installer's own text.
damaged="This installer is damaged: it was cut short or changed after it was built. Please obtain a new copy."
head -c $(( $(stat -c %s setup.exe) - 100 )) setup.exe >short.exe
expect_status 1 "test of an installer cut in its trailer" "$tallowin" test short.exe
grep -qF "$damaged" "$work/stderr.txt" || fail "cut trailer: $(cat "$work/stderr.txt")"
head -c $((archiveoffset + 20000)) setup.exe >short.exe
expect_status 1 "extract of a cut installer" "$tallowin" extract short.exe -d shortout
grep -qF "$damaged" "$work/stderr.txt" || fail "cut installer: $(cat "$work/stderr.txt")"
[ ! -e shortout ] || fail "extract of a cut installer wrote files"
expect_status 1 "list of a cut installer" "$tallowin" list short.exe
grep -q "No install files attached!" "$work/stderr.txt" || fail "cut installer list: $(cat "$work/stderr.txt")"
# The check covers the stub as well: 8 bytes changed in its code.
cp setup.exe code.exe
printf 'XXXXXXXX' | dd of=code.exe bs=1 seek=8192 conv=notrunc status=none
expect_status 1 "test of an installer with changed code" "$tallowin" test code.exe
grep -qF "$damaged" "$work/stderr.txt" || fail "changed code: $(cat "$work/stderr.txt")"
expect_status 0 "info of an installer with changed code" "$tallowin" info code.exe
grep -q "^checksum: .*(damaged)" "$work/stdout.txt" || fail "info of changed code: $(grep checksum "$work/stdout.txt")"
cp setup.exe bad.exe
printf 'X' | dd of=bad.exe bs=1 seek=$((archiveoffset + 2648)) conv=notrunc status=none
expect_status 1 "test of a changed installer" "$tallowin" test bad.exe
grep -qF "$damaged" "$work/stderr.txt" || fail "changed installer: $(cat "$work/stderr.txt")"
expect_status 0 "info of a changed installer" "$tallowin" info bad.exe
grep -q "^checksum: .*(damaged)" "$work/stdout.txt" || fail "info of a changed installer: $(grep checksum "$work/stdout.txt")"
# Without the check record (an installer from another builder) the entry's
# own check finds the damage.
# (The record is the stub's last "TPC2": the code holds the mark too.)
mark=$(LC_ALL=C grep -obUa TPC2 bad.exe | cut -d: -f1 | awk -v end="$archiveoffset" '$1 < end' | tail -1)
[ -n "$mark" ] && printf 'X' | dd of=bad.exe bs=1 seek="$mark" conv=notrunc status=none
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
mkdir -p alone/bin alone/share/tallowin links nostub shared beside variable wrong
cp "$tallowin" alone/bin/tallowin
ln -s "$work/alone/bin/tallowin" links/tallowin
expect_status 1 "build with no stub anywhere" alone/bin/tallowin build product/product.toml -o nostub/setup.exe
grep -qF "$work/alone/bin/$stubname (beside tallowin)" "$work/stderr.txt" &&
  grep -qF "$work/alone/share/tallowin/$stubname (tallowin's installed share folder)" "$work/stderr.txt" ||
  fail "no stub: $(cat "$work/stderr.txt")"
[ ! -e nostub/setup.exe ] && [ ! -e nostub/setup.exe.partial ] || fail "a build without a stub left a file"
expect_status 0 "--version without a stub" alone/bin/tallowin --version
[ "$(head -n 1 "$work/stdout.txt")" = "tallowin $version" ] || fail "--version: $(cat "$work/stdout.txt")"
grep -qF "$stubline: none found" "$work/stdout.txt" || fail "--version without a stub: $(cat "$work/stdout.txt")"
# The stub in share/ differs from the others in one byte of its DOS
# program, which the builder copies as it is.
cp stub.exe alone/share/tallowin/$stubname
printf 'X' | dd of=alone/share/tallowin/$stubname bs=1 seek=78 conv=notrunc 2>/dev/null
dos_marker() { dd if="$1" bs=1 skip=78 count=1 2>/dev/null; }
expect_status 0 "build through a link, stub in share/" links/tallowin build product/product.toml -o shared/setup.exe
[ "$(dos_marker shared/setup.exe)" = X ] || fail "the stub in share/ was not used"
cp stub.exe alone/bin/$stubname
expect_status 0 "build with a stub beside the tool" links/tallowin build product/product.toml -o beside/setup.exe
cmp -s beside/setup.exe first.exe || fail "setup.exe beside the tool was not preferred to the one in share/"
expect_status 0 "--version" links/tallowin --version
grep -qxF "$stubline: $work/alone/bin/$stubname (beside tallowin)" "$work/stdout.txt" || fail "--version: $(cat "$work/stdout.txt")"
expect_status 0 "build with $stubvar" \
  env "$stubvar=$work/alone/share/tallowin/$stubname" alone/bin/tallowin build product/product.toml -o variable/setup.exe
[ "$(dos_marker variable/setup.exe)" = X ] || fail "TALLOWIN_STUB was not used"
expect_status 1 "build with $stubvar naming no file" \
  env "$stubvar=$work/nowhere.exe" alone/bin/tallowin build product/product.toml -o wrong/setup.exe
grep -qF "$work/nowhere.exe ($stubvar)" "$work/stderr.txt" && ! grep -q "beside" "$work/stderr.txt" ||
  fail "a wrong TALLOWIN_STUB: $(cat "$work/stderr.txt")"

# Architecture and scope.  The defaults written out build the same bytes as
# a product that names neither key; info shows both.
grep -qx "architecture:     $arch" <("$tallowin" info first.exe) && grep -qx "scope:            machine" <("$tallowin" info first.exe) ||
  fail "info: $("$tallowin" info first.exe)"
{ echo "architecture = \"$arch\""; echo 'scope = "machine"'; grep -v '^architecture' product/product.toml; } >product/explicit.toml
mkdir -p explicit
expect_status 0 "build with the defaults named" "$tallowin" build product/explicit.toml -o explicit/setup.exe --stub stub.exe
cmp -s explicit/setup.exe first.exe || fail "naming the default architecture and scope changed the installer"
grep -q -a 'level="requireAdministrator"' first.exe && ! grep -q -a 'asInvoker' first.exe ||
  fail "a machine-wide installer's manifest does not ask for administrator rights"
# A product for the other processor on this stub is refused, naming both.
{ echo "architecture = \"$other\""; grep -v '^architecture' product/product.toml; } >product/other.toml
expect_status 1 "build for $other on the $arch stub" "$tallowin" build product/other.toml -o other.exe --stub stub.exe
grep -q "the stub is built for $arch, the product's architecture is $other" "$work/stderr.txt" && [ ! -e other.exe ] ||
  fail "$other product on the $arch stub: $(cat "$work/stderr.txt")"
if [ -n "$otherstub" ] && [ -f "$otherstub" ]; then
  expect_status 0 "build for $other on the $other stub" "$tallowin" build product/other.toml -o other.exe --stub "$otherstub"
  "$tallowin" info other.exe | grep -qx "architecture:     $other" || fail "info of the $other installer"
fi
# A per-user product: the scope record and a manifest asking for no elevation.
{ echo 'scope = "user"'; cat product/product.toml; } >product/user.toml
expect_status 0 "build per-user" "$tallowin" build product/user.toml -o user.exe --stub stub.exe
"$tallowin" info user.exe | grep -qx "scope:            user (current user, no elevation)" ||
  fail "info of the per-user installer: $("$tallowin" info user.exe)"
grep -q -a 'level="asInvoker"' user.exe && ! grep -q -a 'requireAdministrator' user.exe ||
  fail "the per-user installer's manifest still asks for administrator rights"
expect_status 0 "test per-user" "$tallowin" test user.exe
# ... which cannot carry services, named in the refusal.
{ cat product/user.toml; printf '[[services]]\nprogram = "bin/random.bin"\nname = "VantrellService"\n'; } >product/userservice.toml
expect_status 1 "per-user with a service" "$tallowin" build product/userservice.toml -o userservice.exe --stub stub.exe
grep -q 'services: a per-user product .* cannot install services.*: VantrellService' "$work/stderr.txt" &&
  [ ! -e userservice.exe ] || fail "per-user with a service: $(cat "$work/stderr.txt")"
for bad in 'architecture = "arm64"' 'scope = "everyone"'; do
  { echo "$bad"; grep -v '^architecture' product/product.toml; } >product/bad.toml
  expect_status 1 "build with $bad" "$tallowin" build product/bad.toml -o bad.exe --stub stub.exe
  grep -q "must be" "$work/stderr.txt" || fail "$bad: $(cat "$work/stderr.txt")"
done

# Bad products and bad usage.
expect_status 1 "build with a random stub" "$tallowin" build product/product.toml -o x.exe --stub product/license.txt
grep -q "stub: not a well-formed PE program" "$work/stderr.txt" || fail "random stub: $(cat "$work/stderr.txt")"
printf 'icon = "../bad.ico"\n' | cat - product/product.toml >product/badicon.toml
expect_status 1 "build with a bad icon" "$tallowin" build product/badicon.toml -o x.exe --stub stub.exe
grep -q "icon: .*bad.ico: an icon file holds 1 to 64 images, this one 0" "$work/stderr.txt" || fail "bad icon: $(cat "$work/stderr.txt")"
printf 'wizardimage = "license.txt"\n' | cat - product/product.toml >product/badpicture.toml
expect_status 1 "build with a bad picture" "$tallowin" build product/badpicture.toml -o x.exe --stub stub.exe
grep -q "wizardimage: .*not a BMP file; the wizard's picture must be a 24-bit BMP of 150 x 300 pixels" "$work/stderr.txt" ||
  fail "bad picture: $(cat "$work/stderr.txt")"
sed 's/^productname = .*/productname = "'"$(printf 'x%.0s' $(seq 300))"'"/' product/product.toml >product/long.toml
expect_status 1 "build with a long productname" "$tallowin" build product/long.toml -o long.exe --stub stub.exe
grep -q "productname is 300 bytes long" "$work/stderr.txt" || fail "long productname: $(cat "$work/stderr.txt")"
[ ! -e long.exe ] && [ ! -e long.exe.partial ] || fail "a failed build left a file"
# A vendor text that would make the uninstall shortcut's name longer than
# one name may be, and so its recorded path longer than the record takes.
{ cat product/product.toml; printf '\n[texts.de]\nUninstallShortcut = "%s {product}"\n' "$(printf 'x%.0s' $(seq 2000))"; } \
  >product/longtext.toml
expect_status 1 "build with a long vendor text" "$tallowin" build product/longtext.toml -o long.exe --stub stub.exe
grep -q 'texts.de: UninstallShortcut, .* of 2013 characters; Windows takes at most 255' "$work/stderr.txt" ||
  fail "long vendor text: $(cat "$work/stderr.txt")"
# Signing commands that fail: the build fails with the command's output and
# shows no more of the command than its program's name; a command that signs
# nothing fails too, and so does one without {file}.
expect_status 1 "a failing signing command" "$tallowin" build product/product.toml -o signed.exe --stub stub.exe \
  --sign-command "sh -c 'echo cannot reach the token; exit 3' SECRET-PASSWORD {file} # the token's (PIN)"
grep -q 'the signing command "sh \.\.\." failed .*exit status 3' "$work/stderr.txt" &&
  grep -q 'cannot reach the token' "$work/stderr.txt" || fail "failing command: $(cat "$work/stderr.txt")"
grep -q SECRET "$work/stderr.txt" "$work/stdout.txt" && fail "the signing command was printed: $(cat "$work/stderr.txt")"
TALLOWIN_SIGN_COMMAND='true {file}' expect_status 1 "an idle signing command" \
  "$tallowin" build product/product.toml -o signed.exe --stub stub.exe
grep -q '"true ..." left .* carries no signature' "$work/stderr.txt" || fail "idle command: $(cat "$work/stderr.txt")"
expect_status 2 "a signing command without {file}" "$tallowin" build product/product.toml -o signed.exe --stub stub.exe \
  --sign-command "signtool sign /p SECRET"
grep -q '"signtool ..." names no {file}' "$work/stderr.txt" || fail "no {file}: $(cat "$work/stderr.txt")"
[ -z "$(ls signed.exe* 2>/dev/null)" ] || fail "a failed signing build left files: $(ls signed.exe*)"
# The names the installer keeps for itself at the top of the folder.
mkdir -p reserved && cp -r product/. reserved/ && printf 'x' >reserved/files/UnInstall.EXE
expect_status 1 "a product holding uninstall.exe" "$tallowin" build reserved/product.toml -o r.exe --stub stub.exe
grep -q '"UnInstall.EXE" at the top of the installation folder' "$work/stderr.txt" || fail "reserved: $(cat "$work/stderr.txt")"
mv reserved/files/UnInstall.EXE reserved/files/docs/uninstall.exe
# ... and the folder an update moves the installed files aside into, in any letter case.
mkdir reserved/files/~TALLOWIN-Update && printf 'x' >reserved/files/~TALLOWIN-Update/notes.txt
expect_status 1 "a product holding ~tallowin-update" "$tallowin" build reserved/product.toml -o r.exe --stub stub.exe
grep -q '"~TALLOWIN-Update" at the top of the installation folder' "$work/stderr.txt" || fail "reserved: $(cat "$work/stderr.txt")"
rm -r reserved/files/~TALLOWIN-Update
expect_status 0 "uninstall.exe in a subfolder" "$tallowin" build reserved/product.toml -o r.exe --stub stub.exe

# A program the installer would start must be packed; a shortcut to a file
# that is not packed is built with a warning.
sed 's/^exename = .*/exename = "random.bin"/' product/product.toml >product/noprogram.toml
expect_status 1 "build without its program" "$tallowin" build product/noprogram.toml -o noprogram.exe --stub stub.exe
grep -qF 'exename "random.bin" is not among the files' "$work/stderr.txt" || fail "no program: $(cat "$work/stderr.txt")"
[ ! -e noprogram.exe ] || fail "a build without its program left an installer"
sed 's|^target = .*|target = "docs/nowhere.txt"|' product/product.toml >product/notarget.toml
expect_status 0 "build with a shortcut to nothing" "$tallowin" build product/notarget.toml -o notarget.exe --stub stub.exe
grep -qF 'warning: shortcuts[0].target "docs/nowhere.txt" is not among the files' "$work/stderr.txt" ||
  fail "shortcut to nothing: $(cat "$work/stderr.txt")"
# plan: every effect from the engine's own plans; diff: what the next version changes.
expect_status 0 "plan" "$tallowin" plan declaring.exe
for want in "  file        $programs\Vantrell\bin\random.bin  300000 bytes" \
            "  path        $programs\Vantrell\bin  HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment\Path, unless there already" \
            "  registry    HKLM\Software\Calderic\Vantrell\Port = REG_DWORD 27000" \
            "  shortcut    %APPDATA%\Microsoft\Windows\Start Menu\Programs\Calderic\Vantrell\Numbers.lnk  $programs\Vantrell\docs\numbers.txt" \
            "  HKLM\Software\Classes\Calderic.Vantrell.Doc.1  (file type, while it opens this program)"; do
  grep -qxF "$want" "$work/stdout.txt" || fail "plan lacks: $want"
done
[ $arch = x64 ] || grep -qF 'on 64-bit Windows: HKLM\SOFTWARE\WOW6432Node\Calderic\Vantrell\Port' "$work/stdout.txt" ||
  fail "plan: the 32-bit view of the product's value is not shown"
expect_status 0 "plan --json" "$tallowin" plan declaring.exe --json --folder 'D:\Apps\Vantrell'
grep -qF '{"kind": "file", "target": "D:\\Apps\\Vantrell\\docs\\deep\\hello.txt", "detail": "", "size": 6}' "$work/stdout.txt" ||
  fail "plan --json: $(grep hello "$work/stdout.txt")"
expect_status 2 "plan of another scope" "$tallowin" plan declaring.exe --scope user
rm -rf p2 && cp -r product p2
printf 'new\n' >p2/files/docs/new.txt && rm -r p2/files/docs/deep
# (without the Run key value the refusal above appended)
head -n -4 product/declaring.toml | sed 's/^productversion = "2.1"$/productversion = "2.2"/; s/^value = 27000$/value = 27001/' >p2/declaring.toml
expect_status 0 "build the next version" "$tallowin" build p2/declaring.toml -o next.exe --stub stub.exe
expect_status 0 "diff --json" "$tallowin" diff declaring.exe next.exe --json
diffjson=$(cat "$work/stdout.txt")
section() { sed -n "/^ \"$1\": \[/,/\]/p" <<<"$diffjson" | grep -o '"target": "[^"]*"' | sort | tr '\n' ' '; }
grep -qF '"install": "update"' <<<"$diffjson" || fail "diff: not an update: $diffjson"
[ "$(section added)" = "\"target\": \"$(sed 's/\\/\\\\/g' <<<"$programs")\\\\Vantrell\\\\docs\\\\new.txt\" " ] || fail "diff added: $(section added)"
[ "$(section removed)" = "\"target\": \"$(sed 's/\\/\\\\/g' <<<"$programs")\\\\Vantrell\\\\docs\\\\deep\" \"target\": \"$(sed 's/\\/\\\\/g' <<<"$programs")\\\\Vantrell\\\\docs\\\\deep\\\\hello.txt\" " ] ||
  fail "diff removed: $(section removed)"
for changed in 'Calderic.*Port' 'DisplayVersion'; do
  grep -q "\"old\": {\"kind\": \"registry\", \"target\": \"[^\"]*$changed\"" <<<"$diffjson" || fail "diff: $changed not changed"
done
[ "$(grep -c '"old": {"kind"' <<<"$diffjson")" -eq 2 ] || fail "diff changed more than the version and the value: $diffjson"
expect_status 0 "diff as a downgrade" "$tallowin" diff next.exe declaring.exe
grep -q '^Vantrell 2.2 -> Vantrell 2.1: downgrade: refused, nothing changes$' "$work/stdout.txt" || fail "diff: $(head -1 "$work/stdout.txt")"
head -c $(( $(stat -c %s next.exe) - 100 )) next.exe >short.exe
for command in "plan short.exe" "diff declaring.exe short.exe"; do
  expect_status 1 "$command of a damaged installer" "$tallowin" $command
  grep -qF "$damaged" "$work/stderr.txt" || fail "$command: $(cat "$work/stderr.txt")"
done

expect_status 2 "no command" "$tallowin"
expect_status 2 "unknown command" "$tallowin" frobnicate setup.exe
expect_status 2 "extract without -d" "$tallowin" extract setup.exe
expect_status 2 "bad level" "$tallowin" build product/product.toml -o x.exe --stub stub.exe --level 12
expect_status 1 "missing installer" "$tallowin" info nowhere.exe
grep -q "Unable to find Setup Files in" "$work/stderr.txt" || fail "missing installer: $(cat "$work/stderr.txt")"

[ "$failures" -eq 0 ] && echo "tallowin CLI: all checks passed"
exit $((failures > 0))
