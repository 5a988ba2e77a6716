#!/usr/bin/env bash
# The installer in a fresh prefix, as a user without administrator rights gets
# it: a silent install into the user's own program folder with a Start-menu
# entry and an uninstall entry; the installed relay started, receiving datagrams
# from Linux and playing exactly the valid ones (on the test winmm.dll, copied
# beside it for this check only, since Wine has no MIDI output), then closed,
# writing its settings beside itself; a second install keeping them; a silent
# uninstall removing the programs and both entries and leaving the settings.
# $1: the package folder, $2: the test winmm.dll, $3: scripts/wine-session.
set -euo pipefail
. "$(dirname "$0")/common.sh"
package=$1
double=$2
wine_session=$3
work=$(mktemp -d /tmp/vorlanx-install.XXXXXX)
relay_pid=""
cleanup() {
  [ -n "$relay_pid" ] && kill -9 "$relay_pid" 2>/dev/null || true
  "$wine_session" stop "$work/session" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

setups=("$package"/vorlanx-*-setup.exe)
[ ${#setups[@]} -eq 1 ] && [ -f "${setups[0]}" ] || fail "expected one installer in $package: ${setups[*]}"
setup=${setups[0]}
zips=("$package"/vorlanx-*-windows-x64.zip)
# Wine runs everything with full rights; Windows asks for an administrator when
# the manifest says so.
grep -ao 'requestedExecutionLevel level="[a-zA-Z]*"' "$setup" | grep -c 'level="asInvoker"' >/dev/null ||
  fail "the installer asks for administrator rights"

env=$("$wine_session" start "$work/session")
eval "$env"
wine "$setup" /S </dev/null || fail "the silent install ended with $?"

app=$(windows_folder LOCALAPPDATA)/Programs/VORLANX
menu=$(windows_folder APPDATA)/Microsoft/Windows/Start\ Menu/Programs
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VORLANX'
[ -d "$app" ] || fail "nothing installed in $app"
installed=$(cd "$app" && ls | sort | tr '\n' ' ')
[ "$installed" = "README.txt Uninstall.exe vorlanx.exe vxcat.exe vxmidi.exe " ] ||
  fail "installed: $installed"
# The installer and the zip carry the same files.
for f in README.txt vorlanx.exe vxcat.exe vxmidi.exe; do
  unzip -p "${zips[0]}" "VORLANX/$f" | cmp -s - "$app/$f" || fail "$f differs from the zip's"
done
[ -f "$menu/VORLANX.lnk" ] || fail "no Start-menu entry in $menu: $(ls "$menu")"
strings -a "$menu/VORLANX.lnk" | grep -ic 'Programs\\VORLANX\\vorlanx.exe' >/dev/null ||
  fail "the Start-menu entry does not start the installed relay"
wine reg query "$uninstall_key" /v UninstallString </dev/null | grep -ic 'VORLANX\\Uninstall.exe' >/dev/null ||
  fail "no uninstall entry"

# A port nobody holds, on loopback.
# shellcheck source=../free-port.sh
. "$(dirname "$0")/../free-port.sh"
port=$(free_udp_port)
printf '[Data]\r\nAdress=127.0.0.1\r\nPort=%s\r\n' "$port" >"$app/VORLANX.INI"
cp "$double" "$app/winmm.dll"
log=$work/winmm.log
: >"$log"
VORLANX_TEST_WINMM_LOG=$log wine "$app/vorlanx.exe" >"$work/relay.out" 2>&1 </dev/null &
relay_pid=$!
listens() { grep -q ":$(printf '%04X' "$port") " /proc/net/udp; }
wait_until 60 listens || fail "the installed relay did not listen on $port: $(cat "$work/relay.out")"

send() { printf "$1" | socat -u - "UDP-SENDTO:127.0.0.1:$port"; }
send '\220\074\144'      # note on, middle C
send '\220\074'          # too short
send '\376\000\000'      # active sensing
send '\220\074\144\200'  # too long
send '\200\074\000'      # note off
played() { grep -q '^midiOutShortMsg 0 00003C80$' "$log"; }
wait_until 30 played || fail "the relay played: $(cat "$log")"
messages=$(grep '^midiOutShortMsg' "$log" | tr '\n' ' ')
[ "$messages" = "midiOutShortMsg 0 00643C90 midiOutShortMsg 0 00003C80 " ] ||
  fail "expected the two valid messages in order, got: $messages"

# Closed as the user closes it; the settings are written at exit.
closing=$(wine taskkill /im vorlanx.exe </dev/null 2>&1) || closing="$closing (status $?)"
ended() { ! kill -0 "$relay_pid" 2>/dev/null; }
wait_until 30 ended ||
  fail "the relay did not close; taskkill said: $closing; the relay said: $(cat "$work/relay.out")"
status=0
wait "$relay_pid" || status=$?
relay_pid=""
[ "$status" -eq 0 ] || fail "the relay ended with $status: $(cat "$work/relay.out")"
grep -q '^\[Window\]' "$app/VORLANX.INI" || fail "the relay did not write its settings beside itself"
grep -q "^Port=$port" "$app/VORLANX.INI" || fail "the settings lost the port: $(cat "$app/VORLANX.INI")"
rm "$app/winmm.dll"
cp "$app/VORLANX.INI" "$work/settings"

# Installing again replaces the programs and keeps the settings.
wine "$setup" /S </dev/null || fail "the second install ended with $?"
cmp -s "$app/VORLANX.INI" "$work/settings" || fail "installing again changed the settings"

# The uninstaller hands over to a copy of itself and returns at once; it
# removes its own file last.
# Status 2 means it could not copy itself to the temporary folder or could
# not start that copy: what the folder held tells which.
wine "$app/Uninstall.exe" /S </dev/null || {
  status=$?
  fail "the silent uninstall ended with $status; the temporary folder held:" \
    "$(cd "$(windows_folder TEMP)" 2>&1 && find . 2>&1 | tr '\n' ' ')"
}
gone() { [ ! -e "$app/Uninstall.exe" ]; }
wait_until 60 gone || fail "the uninstaller did not finish: $(ls "$app")"
[ -f "$app/VORLANX.INI" ] || fail "uninstalling removed the settings file"
left=$(cd "$app" && ls | tr '\n' ' ')
[ "$left" = "VORLANX.INI " ] || fail "left behind: $left"
cmp -s "$app/VORLANX.INI" "$work/settings" || fail "uninstalling changed the settings"
[ ! -e "$menu/VORLANX.lnk" ] || fail "the Start-menu entry is still there"
wine reg query "$uninstall_key" </dev/null >/dev/null 2>&1 && fail "the uninstall entry is still there"
exit 0
