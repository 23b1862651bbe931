#!/usr/bin/env bash
# A signed installer from start to end: the sample product is packed,
# signed with a throwaway certificate by osslsigncode and verified; tallowin
# reads it; the wizard installs it under Wine and the registered uninstaller
# removes it again; the uninstaller copy is an unsigned program.  Then the
# two ways a signed file goes wrong: a changed byte in the archive breaks
# the signature, and bytes appended after signing make the file read as
# unsigned ("No install files attached!" to tallowin).  The stub refuses
# both at start-up, as it refuses a file cut short or one whose own code
# was changed, with its payload check, before it writes anything.  The installed product's uninstall entry names
# the vendor the builder stamped into the stub ("Publisher").
#
# Then each product's own uninstaller: the sample built with an osslsigncode
# --sign-command (setup.exe and the installed uninstaller both verify), and a second
# vendor's product beside it: two uninstallers with their vendors' version
# information; removing the second through an earlier install's shared
# tallowui.exe registration leaves the first's uninstaller byte for byte,
# and that still removes its product.
#
#   signed_installer_test.sh TALLOWIN WINDOWS_BIN WORK
#
# WINDOWS_BIN holds setup.exe, vantrell.exe, vantrelld.exe and demo_driver.exe
# of the Windows build the Wine tests run; the Wine prefix is the test run's
# ($TALLOWIN_WINEPREFIX).
set -u
tallowin=$1
bin=$2
work=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_run=$root/tests/wine/wine-run.sh

for tool in openssl osslsigncode; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"; exit 77; }
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# The product, with the programs of this Windows build, and the certificate.
cp -r "$root/examples/vantrell" stage
rm -rf stage/src
cp "$bin/vantrell.exe" "$bin/vantrelld.exe" stage/files/
# The products name the architecture of this build's stub (x64: 34404 in
# its PE file header).
architecture=x86
[ "$(od -An -tu2 -j$(( $(od -An -tu4 -j60 -N4 "$bin/setup.exe" | tr -d ' ') + 4 )) -N2 "$bin/setup.exe" | tr -d ' ')" = 34404 ] &&
  architecture=x64
{ echo "architecture = \"$architecture\""; cat "$root/examples/vantrell/product.toml"; } >stage/product.toml
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tallowin Test Signer" \
  -keyout key.pem -out cert.pem >openssl.log 2>&1 || { cat openssl.log; exit 1; }

"$tallowin" build stage/product.toml -o unsigned.exe --stub "$bin/setup.exe" >/dev/null || exit 1
osslsigncode sign -certs cert.pem -key key.pem -n "Vantrell" -in unsigned.exe -out signed.exe >sign.log 2>&1 ||
  { cat sign.log; exit 1; }
osslsigncode verify -CAfile cert.pem signed.exe >verify.log 2>&1 || fail "osslsigncode verify: $(tail -3 verify.log)"
unsigned_size=$(stat -c %s unsigned.exe)
# The security directory entry of the PE header, and the table it names.
pe=$(od -An -tu4 -j60 -N4 signed.exe | tr -d ' ')
# The optional header's magic, as a number: 267 (0x10b) for a 32-bit
# program, 523 (0x20b) for a 64-bit one, whose data directories lie 16
# bytes further on.
magic=$(od -An -tu2 -j$((pe + 24)) -N2 signed.exe | tr -d ' ')
case $magic in
  267) entry=$((pe + 24 + 96 + 32)) ;;
  523) entry=$((pe + 24 + 112 + 32)) ;;
  *) echo "signed.exe: unknown optional header magic $magic"; exit 1 ;;
esac
table_at=$(od -An -tu4 -j$entry -N4 signed.exe | tr -d ' ')
table=$(od -An -tu4 -j$((entry + 4)) -N4 signed.exe | tr -d ' ')
[ "$table" -gt 0 ] && [ $((table_at + table)) -eq "$(stat -c %s signed.exe)" ] || fail "signing added no certificate table"
[ "$table_at" -ge "$unsigned_size" ] && [ "$table_at" -lt $((unsigned_size + 8)) ] || fail "the table is not after the payload"
cmp -s <(head -c "$unsigned_size" signed.exe | tail -c 11384) <(tail -c 11384 unsigned.exe) ||
  fail "the trailer is not the last bytes before the table"

# tallowin reads the signed file as the unsigned one and names the table.
"$tallowin" info signed.exe >info.txt 2>&1 || fail "info of the signed installer: $(cat info.txt)"
grep -qx "certificate:      table of $table bytes (signed)" info.txt || fail "info: $(grep certificate info.txt)"
"$tallowin" info unsigned.exe >info-unsigned.txt 2>&1
grep -qx "certificate:      none (not signed)" info-unsigned.txt || fail "info of the unsigned installer: $(cat info-unsigned.txt)"
diff <(grep -v '^certificate:' info.txt) <(grep -v '^certificate:' info-unsigned.txt) >/dev/null ||
  fail "info differs between the signed and the unsigned installer"
"$tallowin" info signed.exe --json >info.json
grep -q '"signed": true' info.json && grep -q "\"certificatetable\": $table" info.json || fail "info --json: $(cat info.json)"
"$tallowin" info unsigned.exe --json | grep -q '"certificatetable": 0' || fail "info --json of the unsigned installer"
cmp -s <("$tallowin" list signed.exe --json) <("$tallowin" list unsigned.exe --json) || fail "list differs"
"$tallowin" test signed.exe >test.txt 2>&1 || fail "test: $(cat test.txt)"
"$tallowin" extract signed.exe -d out >/dev/null 2>&1 || fail "extract of the signed installer"
diff -r stage/files out >/dev/null || fail "extracted files differ from the product's"

# A byte changed in the archive: the signature covers the payload.
archiveoffset=$("$tallowin" info unsigned.exe --json | sed -n 's/^ "archiveoffset": \([0-9]*\),$/\1/p')
grep -q '"publisher": "Calderic Software"' info.json && grep -q '"checksumstate": "intact"' info.json ||
  fail "info --json of the stamped installer: $(grep -E 'publisher|checksum' info.json)"
cp signed.exe tampered.exe
printf 'Z' | dd of=tampered.exe bs=1 seek=$((archiveoffset + 3000)) conv=notrunc status=none
cmp -s signed.exe tampered.exe && fail "the tampered copy is unchanged"
osslsigncode verify -CAfile cert.pem tampered.exe >tampered.log 2>&1 && fail "verify accepts a changed archive byte"

# 8 bytes changed in the stub's code section: the payload check covers them
# too.  The bytes are the section's padding after its last instruction (or
# its last 8 bytes when there is none): changed code the stub runs before
# its check could crash it first, which proves nothing of the check.
section=$((pe + 24 + $(od -An -tu2 -j$((pe + 20)) -N2 signed.exe | tr -d ' ')))
code_used=$(od -An -tu4 -j$((section + 8)) -N4 signed.exe | tr -d ' ')
code_raw=$(od -An -tu4 -j$((section + 16)) -N4 signed.exe | tr -d ' ')
code_at=$(od -An -tu4 -j$((section + 20)) -N4 signed.exe | tr -d ' ')
if [ $((code_raw - code_used)) -ge 8 ]; then code_at=$((code_at + code_used)); else code_at=$((code_at + code_raw - 8)); fi
cp signed.exe code.exe
printf 'ZZZZZZZZ' | dd of=code.exe bs=1 seek=$code_at conv=notrunc status=none
cmp -s signed.exe code.exe && fail "the changed code copy is unchanged"
"$tallowin" test code.exe >code.txt 2>&1 && fail "test accepts a signed installer with changed code"

# Bytes appended after signing: the table no longer ends the file.
cp signed.exe appended.exe
printf 'appended' >>appended.exe
"$tallowin" info appended.exe >appended.txt 2>&1 && fail "info accepts bytes appended after signing"
grep -q "No install files attached!" appended.txt || fail "appended: $(cat appended.txt)"

# Under Wine: the stub refuses the appended, the changed (archive, code) and a cut file
# before it writes anything, then installs the signed one through the
# wizard and uninstalls it with the registered command.
driver=$bin/demo_driver.exe
head -c $((archiveoffset + 5000)) unsigned.exe >cut.exe
damaged="This installer is damaged: it was cut short or changed after it was built. Please obtain a new copy."
for file in appended tampered code cut; do
  "$wine_run" --timeout 120 "$driver" refused "$work/$file.exe" >refused.txt 2>&1 || fail "refused $file: $(cat refused.txt)"
  grep -qF "start-up error: $damaged" refused.txt || fail "the stub says to the $file file: $(cat refused.txt)"
done
[ ! -e "$TALLOWIN_WINEPREFIX/drive_c/Program Files/Vantrell" ] || fail "a refused installer wrote the program folder"
reg() { "$wine_run" --timeout 60 "$TALLOWIN_WINEPREFIX/drive_c/windows/system32/reg.exe" "$@" 2>/dev/null; }
uninstallkey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrell'
reg query "$uninstallkey" >/dev/null && fail "a refused installer registered the product"

"$wine_run" --timeout 600 "$driver" install "$work/signed.exe" >install.txt 2>&1 || fail "install: $(cat install.txt)"
reg query "$uninstallkey" | grep -qF 'Publisher    REG_SZ    Calderic Software' ||
  fail "the uninstall key names no publisher: $(reg query "$uninstallkey")"
uninstallers=$TALLOWIN_WINEPREFIX/drive_c/windows/Tallowin
uninstaller=$uninstallers/vantrell-uninstall.exe
if [ -f "$uninstaller" ]; then
  # The copy is the stub: the first archiveoffset bytes of the signed file
  # with the security directory entry (8 bytes) cleared.  It keeps the PE
  # checksum the signer wrote (the loader does not check it for programs),
  # so it equals the unsigned (stamped) stub everywhere else.
  [ "$(stat -c %s "$uninstaller")" -eq "$archiveoffset" ] || fail "the uninstaller is $(stat -c %s "$uninstaller") bytes"
  [ "$(od -An -tx1 -j$entry -N8 "$uninstaller" | tr -d ' ')" = 0000000000000000 ] ||
    fail "the uninstaller's security directory is not empty"
  differing=$(cmp -l <(head -c "$archiveoffset" signed.exe) "$uninstaller" | awk '{print $1 - 1}')
  [ -n "$differing" ] || fail "the uninstaller still names the certificate table"
  for at in $differing; do
    [ "$at" -ge "$entry" ] && [ "$at" -lt $((entry + 8)) ] || { fail "the uninstaller differs from the stub at $at"; break; }
  done
  checksum=$((pe + 24 + 64))
  differing=$(cmp -l <(head -c "$archiveoffset" unsigned.exe) "$uninstaller" | awk '{print $1 - 1}')
  for at in $differing; do
    [ "$at" -ge "$checksum" ] && [ "$at" -lt $((checksum + 4)) ] || { fail "the uninstaller differs from the unsigned stub at $at"; break; }
  done
else
  fail "no uninstaller copy at $uninstaller"
fi
# The finish page started the program; close it as its user would (the
# uninstall driver starts a copy of its own for the uninstaller to close).
system32=$TALLOWIN_WINEPREFIX/drive_c/windows/system32
"$wine_run" --timeout 60 "$system32/taskkill.exe" /im vantrell.exe >/dev/null 2>&1
sleep 2
# The sample's declarations work in new processes: the shell opens a .vtr
# document and a vantrell: link with the program, which notes what it was
# opened with, and the program folder is on PATH.
printf 'sample\n' >"$work/sample.vtr"
settings=$(find "$TALLOWIN_WINEPREFIX/drive_c/users" -path '*Roaming/Vantrell/settings.ini' 2>/dev/null | head -n 1)
for document in "$("$wine_run" --timeout 60 "$system32/winepath.exe" -w "$work/sample.vtr" 2>/dev/null | tr -d '\r')" 'vantrell:guide'; do
  "$wine_run" --timeout 60 "$system32/cmd.exe" /c start "" "$document" >start.txt 2>&1
  for i in $(seq 30); do
    settings=$(find "$TALLOWIN_WINEPREFIX/drive_c/users" -path '*Roaming/Vantrell/settings.ini' 2>/dev/null | head -n 1)
    [ -n "$settings" ] && grep -qaF "Opened=$document" "$settings" && break
    sleep 1
  done
  [ -n "$settings" ] && grep -qaF "Opened=$document" "$settings" ||
    fail "the shell did not open $document with vantrell.exe: $(cat start.txt)"
  "$wine_run" --timeout 60 "$system32/taskkill.exe" /im vantrell.exe >/dev/null 2>&1
  sleep 1
done
"$wine_run" --timeout 60 "$system32/cmd.exe" /c 'for %i in (vantrell.exe) do @echo %~$PATH:i' >where.txt 2>&1
grep -qi 'Vantrell\\vantrell.exe' where.txt || fail "vantrell.exe is not found on PATH: $(cat where.txt)"
"$wine_run" --timeout 600 "$driver" uninstall >uninstall.txt 2>&1 || fail "uninstall: $(cat uninstall.txt)"
[ ! -e "$TALLOWIN_WINEPREFIX/drive_c/Program Files/Vantrell" ] || fail "the program folder is left"
for key in .vtr vantrell Calderic.Vantrell.Document.1; do
  reg query "HKLM\\Software\\Classes\\$key" >/dev/null && fail "HKLM\\Software\\Classes\\$key is left"
done
reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v Path | grep -qi 'Program Files\\Vantrell' &&
  fail "the PATH entry is left"
[ ! -e "$uninstaller" ] || fail "the uninstall left its uninstaller under the product's name"

# The builder signs: the uninstaller it carries and setup.exe.
signcmd='osslsigncode sign -certs cert.pem -key key.pem -n Vantrell -in {file} -out {file}.signed && mv {file}.signed {file} # the test key (no PIN)'
"$tallowin" build stage/product.toml -o selfsigned.exe --stub "$bin/setup.exe" --sign-command "$signcmd" >build.txt 2>&1 ||
  fail "build --sign-command: $(cat build.txt)"
osslsigncode verify -CAfile cert.pem selfsigned.exe >verify.log 2>&1 || fail "verify of setup.exe: $(tail -3 verify.log)"
"$tallowin" info selfsigned.exe >info-self.txt 2>&1
grep -q '^uninstaller:      signed, carried in the payload' info-self.txt || fail "info: $(grep uninstaller: info-self.txt)"
grep -q '^certificate:      table of' info-self.txt || fail "info: $(grep certificate: info-self.txt)"
grep -q 'uninstaller:      a copy of the stub' info.txt || fail "info of the unsigned build: $(grep uninstaller: info.txt)"
"$tallowin" list selfsigned.exe | grep -q "uninstall.exe	(the signed uninstaller)" || fail "list marks no signed uninstaller"
"$tallowin" extract selfsigned.exe -d carried >/dev/null 2>&1 || fail "extract of the self-signed installer"
osslsigncode verify -CAfile cert.pem carried/uninstall.exe >verify.log 2>&1 || fail "the carried uninstaller: $(tail -3 verify.log)"
[ "$(ls selfsigned.exe* | wc -l)" -eq 1 ] || fail "the build left files behind: $(ls selfsigned.exe*)"
# A second vendor's product, unsigned, beside the signed one.
mkdir -p other/files
cp "$bin/vantrell.exe" other/files/orlenne.exe
cat >other/product.toml <<'TOML'
productname = "Orlenne"
productversion = "1.0"
publisher = "Brasswick Instruments"
exename = "orlenne.exe"
startmenufolder = "Brasswick/Orlenne"
defaultsubfolder = "Orlenne"
appdatafolder = "Orlenne"
files = "files"
TOML
echo "architecture = \"$architecture\"" >>other/product.toml
"$tallowin" build other/product.toml -o orlenne-setup.exe --stub "$bin/setup.exe" >build.txt 2>&1 || fail "build: $(cat build.txt)"

"$wine_run" --timeout 600 "$work/selfsigned.exe" /S >run.txt 2>&1 || fail "install of the self-signed product: $(cat run.txt)"
"$wine_run" --timeout 600 "$work/orlenne-setup.exe" /S >run.txt 2>&1 || fail "install of the second product: $(cat run.txt)"
other=$uninstallers/orlenne-uninstall.exe
cmp -s "$uninstaller" carried/uninstall.exe || fail "the installed uninstaller is not the signed one the installer carries"
osslsigncode verify -CAfile cert.pem "$uninstaller" >verify.log 2>&1 || fail "the installed uninstaller: $(tail -3 verify.log)"
vendor() { strings -el "$1" | grep -x -e 'Calderic Software' -e 'Brasswick Instruments' | sort -u | tr '\n' ' '; }
[ "$(vendor "$uninstaller")" = "Calderic Software " ] || fail "the first uninstaller's vendor: $(vendor "$uninstaller")"
[ "$(vendor "$other")" = "Brasswick Instruments " ] || fail "the second uninstaller's vendor: $(vendor "$other")"
cp "$uninstaller" kept.exe

# An earlier install's registration: the shared tallowui.exe, still run.
cp "$other" "$TALLOWIN_WINEPREFIX/drive_c/windows/tallowui.exe"
reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orlenne' /v UninstallString /d 'C:\windows\tallowui.exe -ui orlenne.exe' /f >/dev/null
"$wine_run" --timeout 600 "$TALLOWIN_WINEPREFIX/drive_c/windows/tallowui.exe" -ui orlenne.exe /S >run.txt 2>&1 ||
  fail "uninstall through tallowui.exe: $(cat run.txt)"
[ ! -e "$TALLOWIN_WINEPREFIX/drive_c/Program Files/Orlenne" ] || fail "the second product's folder is left"
reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orlenne' >/dev/null && fail "the second product is still registered"
[ -f "$TALLOWIN_WINEPREFIX/drive_c/windows/tallowui.exe" ] || fail "the shared uninstaller was removed"
[ ! -e "$other" ] || fail "the second product's own uninstaller is left"
cmp -s "$uninstaller" kept.exe || fail "removing the second product changed the first one's uninstaller"
# The first product through its registered quiet command.
quiet=$(reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrell' /v QuietUninstallString | tr -d '\r' |
  sed -n 's/.*REG_SZ *//p')
[ "$quiet" = '"C:\windows\Tallowin\vantrell-uninstall.exe" -ui vantrell.exe /S' ] || fail "QuietUninstallString: $quiet"
"$wine_run" --timeout 600 "$uninstaller" -ui vantrell.exe /S >run.txt 2>&1 || fail "uninstall of the first product: $(cat run.txt)"
[ ! -e "$TALLOWIN_WINEPREFIX/drive_c/Program Files/Vantrell" ] || fail "the first product's folder is left"
[ ! -e "$uninstaller" ] || fail "the first product's uninstaller is left under its name"
rm -f "$TALLOWIN_WINEPREFIX/drive_c/windows/tallowui.exe"

if [ "$failures" -eq 0 ]; then
  echo "signed installer: all checks passed ($table-byte certificate table)"
  rm -rf "$work"
  exit 0
fi
echo "$failures failures; the files are in $work"
exit 1
