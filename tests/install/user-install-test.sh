#!/usr/bin/env bash
# `make install` and `make uninstall` for a user, in a scratch home folder:
# what lands where, that the relay started through its link keeps its settings
# beside itself, that a reinstall keeps them and that uninstall leaves only them.
# $1: the build folder, $2: the source folder.
set -euo pipefail
build="$1"
src="$2"
work="$(mktemp -d)"
relay_pid=""
cleanup() {
  [ -n "$relay_pid" ] && kill -9 "$relay_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

export HOME="$work/home"
mkdir -p "$HOME"
local_="$HOME/.local"
app="$local_/lib/vorlanx"
make -s -C "$src" install BUILD="$build" SKIP_BUILD=1 >"$work/install.log"

for p in vorlanx vxcat vxmidi; do
  [ -x "$app/$p" ] || fail "$app/$p missing"
  [ "$(readlink -f "$local_/bin/$p")" = "$app/$p" ] || fail "$local_/bin/$p does not lead to $app/$p"
  [ -f "$local_/share/man/man1/$p.1" ] || fail "no man page for $p"
done
desktop="$local_/share/applications/vorlanx.desktop"
grep -qx "Exec=$app/vorlanx" "$desktop" || fail "desktop entry: $(grep Exec "$desktop")"
grep -qx "Icon=vorlanx" "$desktop" || fail "desktop entry names no icon"
[ -f "$local_/share/icons/hicolor/scalable/apps/vorlanx.svg" ] || fail "no icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop entry is not valid"
fi
man -l "$local_/share/man/man1/vxcat.1" 2>/dev/null | grep -q -- "--listen" || fail "vxcat.1 does not render"
man -l "$local_/share/man/man1/vxmidi.1" 2>/dev/null | grep -q -- "--play" || fail "vxmidi.1 does not render"
# vxmidi through its link, with no JACK server: no JACK outputs (the machine's
# ALSA sequencer ports, if any, are listed), or it says there are none.
env JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER="vorlanx-install-test-$$" "$local_/bin/vxmidi" --list \
  >"$work/vxmidi.out" 2>"$work/vxmidi.err" || fail "vxmidi --list: $(cat "$work/vxmidi.err")"
grep -q "no MIDI outputs" "$work/vxmidi.err" || grep -q "^0	" "$work/vxmidi.out" ||
  fail "vxmidi --list said: $(cat "$work/vxmidi.out" "$work/vxmidi.err")"

# The relay through its link, without a display or a JACK server: its settings
# file is the one in its own folder. A port nobody holds: vxcat asks the kernel.
"$local_/bin/vxcat" -u -l -v 127.0.0.1 0 </dev/null 2>"$work/vxcat.err" >/dev/null &
vxcat_pid=$!
for _ in $(seq 100); do grep -q '127.0.0.1' "$work/vxcat.err" && break; sleep 0.1; done
port="$(grep -o '127\.0\.0\.1[: ][0-9]*' "$work/vxcat.err" | grep -o '[0-9]*$' | head -1)"
kill "$vxcat_pid"
wait "$vxcat_pid" 2>/dev/null || true
[ -n "$port" ] || fail "no free port: $(cat "$work/vxcat.err")"
printf '[Data]\r\nAdress=127.0.0.1\r\nPort=%s\r\n' "$port" >"$app/VORLANX.INI"

env -u DISPLAY JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER="vorlanx-install-test-$$" \
  "$local_/bin/vorlanx" >"$work/relay.out" 2>"$work/relay.err" &
relay_pid=$!
for _ in $(seq 100); do
  grep -q ":$(printf '%04X' "$port") " /proc/net/udp && break
  sleep 0.1
done
grep -q ":$(printf '%04X' "$port") " /proc/net/udp || fail "the relay did not listen: $(cat "$work/relay.err")"
kill -TERM "$relay_pid"
status=0
wait "$relay_pid" || status=$?
relay_pid=""
[ "$status" -eq 0 ] || fail "the relay ended with $status: $(cat "$work/relay.err")"
grep -q '^\[Window\]' "$app/VORLANX.INI" || fail "the relay did not write its settings beside itself"
grep -q "^Port=$port" "$app/VORLANX.INI" || fail "the settings lost the port"
[ ! -e "$local_/bin/VORLANX.INI" ] || fail "settings written beside the link"
cp "$app/VORLANX.INI" "$work/settings"

# A second install replaces the programs and keeps the settings.
make -s -C "$src" install BUILD="$build" SKIP_BUILD=1 >/dev/null
cmp -s "$app/VORLANX.INI" "$work/settings" || fail "reinstalling changed the settings"

make -s -C "$src" uninstall >/dev/null
left="$(cd "$local_" && find . -type f -o -type l | sort)"
[ "$left" = "./lib/vorlanx/VORLANX.INI" ] || fail "uninstall left: $left"
cmp -s "$app/VORLANX.INI" "$work/settings" || fail "uninstall changed the settings"

# Another prefix, with a blank in it: the desktop entry quotes the program; with
# no settings file written, uninstall leaves nothing of its own.
other="$work/my apps"
make -s -C "$src" install BUILD="$build" SKIP_BUILD=1 PREFIX="$other" >/dev/null
grep -qx "Exec=\"$other/lib/vorlanx/vorlanx\"" "$other/share/applications/vorlanx.desktop" ||
  fail "desktop entry: $(grep Exec "$other/share/applications/vorlanx.desktop")"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$other/share/applications/vorlanx.desktop" || fail "quoted desktop entry is not valid"
fi
make -s -C "$src" uninstall PREFIX="$other" >/dev/null
[ -z "$(find "$other" -type f -o -type l)" ] || fail "uninstall left: $(find "$other" -type f -o -type l)"
[ ! -e "$other/lib/vorlanx" ] || fail "uninstall left the empty program folder"
echo "user install: ok"
