#!/usr/bin/env bash
# The portable zip: exactly the three programs and the README in a folder
# VORLANX (no test program, no test winmm.dll, no settings file), the README
# plain text with CRLF, the programs 64-bit, stripped, needing no DLL that
# Windows lacks, and starting from the unpacked folder.
# $1: the package folder, $2: scripts/wine-run.
set -euo pipefail
. "$(dirname "$0")/common.sh"
package=$1
wine_run=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

zips=("$package"/vorlanx-*-windows-x64.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "expected one zip in $package: ${zips[*]}"
zip=${zips[0]}

listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
expected="VORLANX/ VORLANX/README.txt VORLANX/vorlanx.exe VORLANX/vxcat.exe VORLANX/vxmidi.exe "
[ "$listing" = "$expected" ] || fail "the zip holds: $listing"
unzip -q "$zip" -d "$work"
folder=$work/VORLANX

readme=$folder/README.txt
lines=$(tr -cd '\n' <"$readme" | wc -c)
[ "$lines" -gt 10 ] || fail "README.txt has $lines lines"
[ "$(grep -c $'\r$' "$readme")" -eq "$lines" ] || fail "README.txt has lines without CRLF"
[ "$(tr -cd '\r' <"$readme" | wc -c)" -eq "$lines" ] || fail "README.txt has a CR outside a line end"
LC_ALL=C grep -q $'[^\t\r -~]' "$readme" && fail "README.txt is not plain ASCII text"
grep -q 'VORLANX.INI' "$readme" || fail "README.txt does not say where the settings are"

# Wine's own system folder stands for what every Windows has.
system32=$WINEPREFIX/drive_c/windows/system32
for p in vorlanx vxcat vxmidi; do
  exe=$folder/$p.exe
  x86_64-w64-mingw32-objdump -f "$exe" | grep -c 'file format pei-x86-64' >/dev/null || fail "$p.exe is not a 64-bit program"
  x86_64-w64-mingw32-objdump -h "$exe" | grep -c '\.debug' >/dev/null && fail "$p.exe still has its debugging sections"
  for dll in $(imported_dlls "$exe"); do
    [ -n "$(find "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ] ||
      fail "$p.exe needs $dll, which Windows does not have"
  done
done
# The relay has a window and no console; the tools are console programs.
x86_64-w64-mingw32-objdump -p "$folder/vorlanx.exe" | grep -c '^Subsystem.*Windows GUI' >/dev/null ||
  fail "vorlanx.exe is not a window program"
for p in vxcat vxmidi; do
  x86_64-w64-mingw32-objdump -p "$folder/$p.exe" | grep -c '^Subsystem.*Windows CUI' >/dev/null ||
    fail "$p.exe is not a console program"
done

# As a user runs them: Wine's own winmm, which has no MIDI output here.
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv=d;winemenubuilder.exe=d"
"$wine_run" "$folder/vxcat.exe" --help >"$work/vxcat.out" 2>&1 </dev/null ||
  fail "vxcat.exe --help: $(cat "$work/vxcat.out")"
grep -q -- '--listen' "$work/vxcat.out" || fail "vxcat.exe --help said: $(cat "$work/vxcat.out")"
status=0
"$wine_run" "$folder/vxmidi.exe" --list >"$work/vxmidi.out" 2>"$work/vxmidi.err" </dev/null || status=$?
[ "$status" -eq 0 ] || fail "vxmidi.exe --list ended with $status: $(cat "$work/vxmidi.err")"
grep -q "no MIDI outputs" "$work/vxmidi.err" || fail "vxmidi.exe --list said: $(cat "$work/vxmidi.out" "$work/vxmidi.err")"
[ ! -e "$folder/VORLANX.INI" ] || fail "a tool wrote the relay's settings file"
