# shellcheck shell=bash
# Helpers for relay.sh: the relay under Wine in a scratch folder of its own,
# datagrams from this side, and the probe that reads its windows. Every wait
# is bounded and ends on its condition.

# Set by relay.sh: $bin (the Windows build folder), $src (the source tree).
run=$src/scripts/wine-run
work=$(mktemp -d /tmp/vorlanx-relay-XXXXXX)
folder=$(basename "$work")
relay_pid=""
holder_pid=""

cleanup() {
  [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- MIDI log:" >&2; cat "$work/midi.log" >&2 2>/dev/null
  echo "--- windows:" >&2; probe list "$folder" >&2
  echo "--- relay's stderr:" >&2; cat "$work/err" >&2 2>/dev/null
  exit 1
}

# wait_until SECONDS DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
wait_until() {
  local seconds=$1 what=$2
  shift 2
  local end=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || fail "no $what within ${seconds}s"
    sleep 0.1
  done
}

probe() { "$run" "$bin/winprobe.exe" "$@" 2>/dev/null | tr -d '\r'; }

# shellcheck source=../free-port.sh
. "$(dirname "${BASH_SOURCE[0]}")/../free-port.sh"
port_free() { ! udp_port_bound "$1"; }

# start_relay SETTINGS [DEVICES]: writes the settings file (CRLF, as Windows
# writes it) and starts vorlanx.exe from the scratch folder.
start_relay() {
  cp "$bin/vorlanx.exe" "$bin/winmm.dll" "$work/"
  printf '%s' "$1" | sed 's/$/\r/' >"$work/VORLANX.INI"
  (
    cd "$work"
    export VORLANX_TEST_WINMM_LOG=$work/midi.log
    if [ $# -ge 2 ]; then export VORLANX_TEST_WINMM_DEVICES=$2; fi
    exec "$run" ./vorlanx.exe >"$work/out" 2>"$work/err"
  ) &
  relay_pid=$!
}

# Waits for the relay's end and checks that it exited normally.
wait_exit() {
  local end=$((SECONDS + 30))
  while kill -0 "$relay_pid" 2>/dev/null; do
    [ "$SECONDS" -lt "$end" ] || fail "the relay did not end"
    sleep 0.1
  done
  local status=0
  wait "$relay_pid" || status=$?
  relay_pid=""
  [ "$status" -eq 0 ] || fail "the relay exited with $status"
}

# The probe's line of a visible top-level window: CLASS and TITLE.
window_line() { probe list "$folder" | awk -F'\t' -v c="$1" -v t="$2" '$1=="top" && $3==c && $4==t'; }
has_window() { [ -n "$(window_line "$1" "$2")" ]; }
no_window() { [ -z "$(window_line "$1" "$2")" ]; }
has_menu() { probe list "$folder" | awk -F'\t' '$1=="top" && $3=="#32768"' | grep -q .; }
no_menu() { ! has_menu; }
handle_of() { window_line "$1" "$2" | cut -f2 | head -n1; }
# The controls of a window: "id<TAB>class<TAB>text" per line.
controls_of() {
  local h
  h=$(handle_of "$1" "$2")
  probe list "$folder" | awk -F'\t' -v h="$h" '
    $1=="top" { mine = ($2==h) } $1=="child" && mine { print $3 "\t" $4 "\t" $6 }'
}

# A click (button 1, 2 or 3) at a point of the relay window's client area.
click() {
  local line x y
  line=$(window_line VorlanxForm VORLANX)
  x=$(($(echo "$line" | cut -f9) + $1))
  y=$(($(echo "$line" | cut -f10) + $2))
  xdotool mousemove "$x" "$y" click "$3"
}

# send HOST PORT HEX...: one datagram of the bytes given.
send() {
  local host=$1 port=$2 bytes=""
  shift 2
  for b in "$@"; do bytes+="\\x$b"; done
  printf "$bytes" >"/dev/udp/$host/$port"
}

played() { grep -c '^midiOutShortMsg' "$work/midi.log" 2>/dev/null || true; }
logged() { grep -qxF "$1" "$work/midi.log" 2>/dev/null; }
plays_at_least() { [ "$(played)" -ge "$1" ]; }

# Pixels of the error icon's red inside a window's rectangle on the screen.
red_pixels() {
  local line
  line=$(window_line "$1" "$2")
  local l t r b
  l=$(echo "$line" | cut -f5); t=$(echo "$line" | cut -f6)
  r=$(echo "$line" | cut -f7); b=$(echo "$line" | cut -f8)
  import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$work/shot.png"
  convert "$work/shot.png" -fuzz 25% -fill black +opaque 'rgb(255,0,0)' \
    -fill white -opaque 'rgb(255,0,0)' -format '%[fx:round(mean*w*h)]' info:
}

# The settings file as lines without CR.
settings() { tr -d '\r' <"$work/VORLANX.INI"; }
expect_setting() { settings | grep -qxF "$1" || fail "settings file lacks $1: $(settings)"; }
