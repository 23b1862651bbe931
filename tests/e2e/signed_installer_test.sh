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

# 8 bytes changed in the stub's code: the payload check covers them too.
cp signed.exe code.exe
printf 'ZZZZZZZZ' | dd of=code.exe bs=1 seek=8192 conv=notrunc status=none
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
uninstaller=$TALLOWIN_WINEPREFIX/drive_c/windows/tallowui.exe
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
"$wine_run" --timeout 60 "$TALLOWIN_WINEPREFIX/drive_c/windows/system32/taskkill.exe" /im vantrell.exe >/dev/null 2>&1
sleep 2
"$wine_run" --timeout 600 "$driver" uninstall >uninstall.txt 2>&1 || fail "uninstall: $(cat uninstall.txt)"
[ ! -e "$TALLOWIN_WINEPREFIX/drive_c/Program Files/Vantrell" ] || fail "the program folder is left"

if [ "$failures" -eq 0 ]; then
  echo "signed installer: all checks passed ($table-byte certificate table)"
  rm -rf "$work"
  exit 0
fi
echo "$failures failures; the files are in $work"
exit 1
