#!/usr/bin/env bash
# A per-user product (scope = "user") with a solid payload (compression =
# "solid") installed with /S, updated by its next version, and removed with
# its quiet uninstall command, in the test run's prefix: the files land in the
# user's own Programs folder, the registration under HKEY_CURRENT_USER only,
# the shortcuts in the user's Start menu, the uninstaller in
# %LOCALAPPDATA%\Tallowin; nothing reaches HKEY_LOCAL_MACHINE, the Windows
# folder or Program Files; the quiet uninstall leaves nothing, its own
# uninstaller included, a few seconds after it ends.  The solid payload's
# files arrive whole, and the update replaces the changed one.  Wine runs
# everything as administrator: this shows where things go, not that no
# elevation is asked for (the manifest is checked by the CLI test).  The
# product also declares a registry value of its own and start at sign-in:
# the installer reads them from its stub, writes them under
# HKEY_CURRENT_USER, and the uninstall removes them with the key it made.
# The sample's file type, link scheme and PATH entry are the user's, a new
# process finds the program, and the uninstall takes them away.  Then the same with the user's local application data in a folder of an
# awkward name.  A prerequisite (the stand-in tests/win32/openmarker.cpp)
# runs before the product, asks for a restart (the install's exit code is
# 3010) and is skipped by the update, its registry check finding it; the
# product's afterinstall and beforeuninstall programs leave their marks in
# order, the latter while the product's files are still there.
#
#   user_scope_test.sh TALLOWIN WINDOWS_BIN WORK
set -u
tallowin=$1
bin=$2
work=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_run=$root/tests/wine/wine-run.sh
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# The sample without its service, for the stub's processor.
cp -r "$root/examples/vantrell" stage
rm -rf stage/src
cp "$bin/vantrell.exe" stage/files/
mkdir -p stage/files/tools
cp "$bin/openmarker.exe" stage/files/tools/marker.exe
marker='C:\users\Public\tlw-vendor-marks.txt'
pe=$(od -An -tu4 -j60 -N4 "$bin/setup.exe" | tr -d ' ')
arch=x86
[ "$(od -An -tu2 -j$((pe + 4)) -N2 "$bin/setup.exe" | tr -d ' ')" = 34404 ] && arch=x64
{ echo 'scope = "user"'; echo "architecture = \"$arch\""; echo 'startatsignin = "/tray"'; echo 'compression = "solid"'
  sed '/^\[\[services\]\]/,/^$/d' stage/product.toml
  printf '\n[[registry]]\nkey = %s\nname = "Server"\ntype = "string"\nvalue = "{app}\\\\lic"\n' "'Software\\Tlw Licence\\Vantrell'"
  printf '\n[[prerequisites]]\nfile = "%s"\ncaption = "Tlw Runtime"\n' "$bin/openmarker.exe"
  printf "arguments = '--marker %s --tag prerequisite --setvalue \"Software\\\\Tlw Prereq Runtime\" Version 1.2 --exit 3010'\n" "$marker"
  printf "check = { registry = 'HKCU\\\\Software\\\\Tlw Prereq Runtime', value = 'Version', minversion = '1.2' }\n"
  printf "[[run]]\nwhen = 'afterinstall'\nprogram = 'tools/marker.exe'\narguments = '--marker %s --tag \"afterinstall {version}\"'\n" "$marker"
  printf "[[run]]\nwhen = 'beforeuninstall'\nprogram = 'tools/marker.exe'\nfailonerror = true\n" 
  printf "arguments = '--marker %s --tag beforeuninstall --exists \"{app}\\\\vantrell.exe\"'\n" "$marker"
} >stage/user.toml
"$tallowin" build stage/user.toml -o user-setup.exe --stub "$bin/setup.exe" >build.txt 2>&1 || { cat build.txt; exit 1; }
"$tallowin" info user-setup.exe | grep -q '^compression: *solid' || fail "the installer's payload is not solid"
# The next version: one file changed.
cp -r stage stage2
echo "Updated guide." >>stage2/files/docs/guide.txt
sed -i 's/^productversion = .*/productversion = "2.2"/' stage2/user.toml
"$tallowin" build stage2/user.toml -o user-setup2.exe --stub "$bin/setup.exe" >build.txt 2>&1 || { cat build.txt; exit 1; }

drive_c=$TALLOWIN_WINEPREFIX/drive_c
reg() { "$wine_run" --timeout 60 "$drive_c/windows/system32/reg.exe" "$@" 2>/dev/null; }
# Everything below C:\ but the users' folders, to compare before and after.
outside() { find "$drive_c" -path "$drive_c/users" -prune -o -print 2>/dev/null | sort; }
outside >before.txt
uninstallkey='Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrell'
apppaths='Software\Microsoft\Windows\CurrentVersion\App Paths\vantrell.exe'

"$wine_run" --timeout 600 "$work/user-setup.exe" /S /LOG=install.log >run.txt 2>&1
status=$?
# Installed, with the restart the prerequisite asked for (3010, as the shell keeps its low byte).
[ "$status" -eq 194 ] || [ "$status" -eq 3010 ] || fail "install: exit $status: $(cat run.txt)"
grep -q 'exit code: 3010' install.log || fail "the install's exit code is not 3010: $(grep -a 'exit code' install.log)"
marks=$drive_c/users/Public/tlw-vendor-marks.txt
for i in $(seq 20); do grep -q afterinstall "$marks" 2>/dev/null && break; sleep 1; done
[ "$(cat "$marks" 2>/dev/null)" = "$(printf 'prerequisite\nafterinstall 2.1')" ] ||
  fail "the prerequisite and the afterinstall program: $(cat "$marks" 2>/dev/null); $(grep -a -E 'prerequisite|run' install.log)"
user=$(ls "$drive_c/users" | grep -v -x -e Public | head -n 1)
local=$drive_c/users/$user/AppData/Local
[ -d "$local" ] || local=$drive_c/users/$user/Local\ Settings/Application\ Data
programs=$local/Programs/Vantrell
[ -f "$programs/vantrell.exe" ] && [ -f "$programs/docs/guide.txt" ] ||
  fail "the files are not in the user's Programs folder: $(grep destination install.log)"
[ ! -e "$programs/~tallowin-prerequisites" ] || fail "the prerequisite was installed into the program folder"
for file in vantrell.exe readme.txt docs/guide.txt docs/help.html; do
  cmp -s "stage/files/$file" "$programs/$file" || fail "$file is not installed as it was packed"
done
uninstaller=$local/Tallowin/vantrell-uninstall.exe
[ -f "$uninstaller" ] || fail "no uninstaller in %LOCALAPPDATA%\\Tallowin"
for key in "$uninstallkey" "$apppaths"; do
  reg query "HKCU\\$key" >/dev/null || fail "HKCU\\$key is missing"
  reg query "HKLM\\$key" >/dev/null && fail "HKLM\\$key was written"
  reg query "HKLM\\Software\\Wow6432Node\\${key#Software\\}" >/dev/null && fail "the 32-bit view of HKLM\\$key was written"
done
quiet=$(reg query "HKCU\\$uninstallkey" /v QuietUninstallString | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
case $quiet in
  '"C:\users\'*'\Tallowin\vantrell-uninstall.exe" -ui vantrell.exe /S') ;;
  *) fail "QuietUninstallString: $quiet" ;;
esac
grep -q "HKLM" install.log && fail "the install names HKLM: $(grep HKLM install.log)"
grep -q "HKLM" "$programs/uninstall.dat" && fail "the install record names HKLM: $(grep HKLM "$programs/uninstall.dat")"
runkey='Software\Microsoft\Windows\CurrentVersion\Run'
server=$(reg query 'HKCU\Software\Tlw Licence\Vantrell' /v Server | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
case $server in 'C:\users\'*'\Programs\Vantrell\lic') ;; *) fail "the declared value: $server" ;; esac
signin=$(reg query "HKCU\\$runkey" /v Vantrell | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
case $signin in '"C:\users\'*'\Programs\Vantrell\vantrell.exe" /tray') ;; *) fail "the Run value: $signin" ;; esac
reg query 'HKLM\Software\Tlw Licence' >/dev/null && fail "the declared value went to HKLM"
# What `tallowin plan` said the install would do is what it did: every
# file, registry value and shortcut, and no file or shortcut more.
winprograms="C:\\users\\$user\\AppData\\Local\\Programs\\Vantrell"
"$tallowin" plan user-setup.exe --json --folder "$winprograms" >plan.json || fail "plan: $(cat plan.json)"
targets() { grep -o "{\"kind\": \"$1\", \"target\": \"[^\"]*\"" plan.json | sed 's/.*"target": "//; s/"$//; s/\\\\/\\/g'; }
unix() {
  while IFS= read -r p; do
    p=${p//%APPDATA%/C:\\users\\$user\\AppData\\Roaming}; p=${p//%USERPROFILE%/C:\\users\\$user}
    p=${p/#C:/$drive_c}; echo "${p//\\//}"
  done
}
diff <(targets file | unix | sort) <(find "$programs" -type f ! -name uninstall.dat | sort) >plan.diff ||
  fail "the plan's files are not the installed ones: $(head -5 plan.diff)"
diff <(targets shortcut | unix | sort) <(find "$drive_c/users/$user" -iname '*.lnk' -path '*Vantrell*' -o -iname 'Vantrell*.lnk' | sort -u) >plan.diff ||
  fail "the plan's shortcuts are not the installed ones: $(head -5 plan.diff)"
while IFS= read -r value; do
  key=${value%\\*} name=${value##*\\}
  if [ "$name" = "(default)" ]; then reg query "$key" /ve >/dev/null; else reg query "$key" /v "$name" >/dev/null; fi ||
    fail "the plan's value $value is not in the registry"
done < <(targets registry)
# A new process finds the program on PATH.  The file type and link scheme
# are the user's own classes; Wine does not show those through
# HKEY_CLASSES_ROOT, so here their keys are checked (the machine-wide install
# in signed_installer_test.sh opens a document and a link through them).
"$wine_run" --timeout 60 "$drive_c/windows/system32/cmd.exe" /c 'for %i in (vantrell.exe) do @echo %~$PATH:i' >where.txt 2>&1
grep -qi 'Programs\\Vantrell\\vantrell.exe' where.txt || fail "vantrell.exe is not found on PATH: $(cat where.txt)"
reg query 'HKCU\Software\Classes\Calderic.Vantrell.Document.1\shell\open\command' | grep -qF '\Programs\Vantrell\vantrell.exe" "%1"' ||
  fail "the file type's open command: $(reg query 'HKCU\Software\Classes\Calderic.Vantrell.Document.1' /s)"
reg query 'HKCU\Software\Classes\.vtr' | grep -qF 'REG_SZ    Calderic.Vantrell.Document.1' || fail "no .vtr default"
reg query 'HKCU\Software\Classes\vantrell' /v 'URL Protocol' >/dev/null || fail "no vantrell: link scheme"
links=$(find "$drive_c/users" -iname '*.lnk' -path '*Vantrell*' | sed "s|$drive_c/users/||")
grep -q "^$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Calderic/Vantrell/Vantrell guide.lnk$" <<<"$links" ||
  fail "no shortcuts in the user's Start menu: $links"
grep -q '^Public/' <<<"$links" && fail "shortcuts in all users' folders: $links"
outside >after.txt
diff before.txt after.txt >outside.diff || fail "the install wrote outside the user's folders: $(head -5 outside.diff)"
# The user's own folders are refused as the program folder.
"$wine_run" --timeout 120 "$work/user-setup.exe" /S "/D=$(dirname "$programs" | sed "s|$drive_c|C:|; s|/|\\\\|g")" >run.txt 2>&1
[ $? -eq 2 ] || fail "the user's Programs folder itself was accepted as the program folder"

# The update, from the next version's solid installer: the changed file replaced.
"$wine_run" --timeout 600 "$work/user-setup2.exe" /S /LOG=update.log >run.txt 2>&1 || fail "update: $(cat run.txt)"
grep -q 'prerequisite present, skipped: Tlw Runtime' update.log || fail "the update ran the prerequisite again: $(grep -a prerequisite update.log)"
cmp -s stage2/files/docs/guide.txt "$programs/docs/guide.txt" || fail "the update did not replace docs/guide.txt"
cmp -s stage/files/vantrell.exe "$programs/vantrell.exe" || fail "the update changed vantrell.exe"
[ "$(reg query "HKCU\\$uninstallkey" /v DisplayVersion | tr -d '\r' | sed -n 's/.*REG_SZ *//p')" = 2.2 ] ||
  fail "the registration does not name the new version"

# The quiet uninstall, as the list of installed programs runs it.
"$wine_run" --timeout 600 "$uninstaller" -ui vantrell.exe /S /LOG=uninstall.log >run.txt 2>&1 ||
  fail "uninstall: $(cat run.txt)"
grep -q "HKLM" uninstall.log && fail "the uninstall names HKLM: $(grep HKLM uninstall.log)"
[ "$(tail -n 1 "$marks")" = "beforeuninstall exists" ] || fail "the beforeuninstall program: $(cat "$marks")"
# A prerequisite is never undone: other products use it.
reg query 'HKCU\Software\Tlw Prereq Runtime' /v Version >/dev/null || fail "the uninstall undid the prerequisite"
for i in $(seq 20); do [ -e "$local/Tallowin" ] || break; sleep 1; done
[ ! -e "$local/Tallowin" ] || fail "the uninstaller's folder is left: $(ls "$local/Tallowin")"
[ ! -e "$programs" ] || fail "the program folder is left"
for key in "$uninstallkey" "$apppaths" 'Software\Tlw Licence\Vantrell'; do
  reg query "HKCU\\$key" >/dev/null && fail "HKCU\\$key is left"
done
reg query "HKCU\\$runkey" /v Vantrell >/dev/null && fail "the Run value is left"
reg query 'HKCU\Software\Tlw Licence' >/dev/null && fail "the vendor key the install made is left"
for key in .vtr vantrell Calderic.Vantrell.Document.1; do
  reg query "HKCU\Software\Classes\$key" >/dev/null && fail "HKCU\Software\Classes\$key is left"
done
reg query 'HKCU\Environment' /v Path 2>/dev/null | grep -qi 'Programs\\Vantrell' && fail "the PATH entry is left"
outside >after.txt
diff before.txt after.txt >outside.diff || fail "the uninstall changed files outside the user's folders: $(head -5 outside.diff)"

# Again with the user's local application data in a folder whose name holds
# what the command processor reads as its own (% ! ^ &), blanks and other
# scripts: the uninstaller, which the command processor deletes once it has
# ended, still goes.
shellfolders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
odd='100% ^&!x Łukasz Сц'
oddlocal=$drive_c/users/$user/$odd
original=$(reg query "$shellfolders" /v "Local AppData" | tr -d '\r' | sed -n 's/^ *Local AppData *REG_EXPAND_SZ *//p')
[ -n "$original" ] || fail "no Local AppData in $shellfolders"
restore() { reg add "$shellfolders" /v "Local AppData" /t REG_EXPAND_SZ /d "$original" /f >/dev/null; rm -rf "$oddlocal"; }
trap restore EXIT
mkdir -p "$oddlocal"
reg add "$shellfolders" /v "Local AppData" /t REG_SZ /d "C:\\users\\$user\\$odd" /f >/dev/null || fail "cannot move Local AppData"
"$wine_run" --timeout 600 "$work/user-setup.exe" /S /LOG=install2.log >run.txt 2>&1 || fail "install in $odd: $(cat run.txt)"
[ -f "$oddlocal/Tallowin/vantrell-uninstall.exe" ] || fail "no uninstaller in $odd: $(grep -a Tallowin install2.log | head -3)"
"$wine_run" --timeout 600 "$oddlocal/Tallowin/vantrell-uninstall.exe" -ui vantrell.exe /S /LOG=uninstall2.log >run.txt 2>&1 ||
  fail "uninstall in $odd: $(cat run.txt)"
for i in $(seq 20); do [ -e "$oddlocal/Tallowin" ] || break; sleep 1; done
[ ! -e "$oddlocal/Tallowin" ] || fail "the uninstaller is left in $odd: $(ls "$oddlocal/Tallowin"); $(grep -a -i "after exit\|uninstaller" uninstall2.log)"
[ ! -e "$oddlocal/Programs/Vantrell" ] || fail "the program folder in $odd is left"
restore
trap - EXIT
reg delete 'HKCU\Software\Tlw Prereq Runtime' /f >/dev/null
rm -f "$marks"

if [ "$failures" -eq 0 ]; then
  echo "per-user product: all checks passed"
  rm -rf "$work"
  exit 0
fi
echo "$failures failures; the files are in $work"
exit 1
