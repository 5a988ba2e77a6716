#!/usr/bin/env bash
# The relay end to end under Wine and Xvfb (the session of scripts/wine-session):
#   relay.sh CASE WINDOWS-BUILD-DIR SOURCE-DIR
# play         datagrams from Linux: exactly the valid ones played, in order;
#              the settings file written beside the exe at exit
# commands     the device menu, the address and port dialogs and an error box,
#              used with the mouse and keyboard while datagrams keep coming
# port_in_use  a port held by another program: the error box, then the window
set -euo pipefail
case_name=${1:?case} bin=${2:?build dir} src=${3:?source dir}
: "${WINEPREFIX:?run inside a Wine session (scripts/wine-session)}" "${DISPLAY:?no display}"
# shellcheck source=relay-lib.sh
. "$(dirname "$0")/relay-lib.sh"

# Points of the client area, inside the layout's labels.
IP_X=20 IP_Y=65 PORT_X=120 PORT_Y=65 DEVICE_X=32 DEVICE_Y=102

# The error box: its title, its text, one OK button and the error icon.
expect_error_box() {
  local title=$1 text=$2 controls
  wait_until 20 "error box \"$text\"" has_window '#32770' "$title"
  controls=$(controls_of '#32770' "$title")
  echo "$controls" | cut -f2,3 | grep -qxF "$(printf 'Static\t%s' "$text")" ||
    fail "error box text is not \"$text\": $controls"
  [ "$(echo "$controls" | awk -F'\t' '$2=="Button"' | wc -l)" -eq 1 ] || fail "not one button: $controls"
  echo "$controls" | awk -F'\t' '$2=="Button" && $1==1 && $3=="OK"' | grep -q . || fail "no OK button: $controls"
  [ "$(red_pixels '#32770' "$title")" -gt 50 ] || fail "no error icon"
}

# An input dialog: its title, prompt and current value.
expect_dialog() {
  local title=$1 prompt=$2 value=$3 controls
  wait_until 20 "dialog \"$title\"" has_window '#32770' "$title"
  controls=$(controls_of '#32770' "$title")
  echo "$controls" | cut -f2,3 | grep -qxF "$(printf 'Static\t%s' "$prompt")" || fail "prompt: $controls"
  echo "$controls" | cut -f2,3 | grep -qxF "$(printf 'Edit\t%s' "$value")" || fail "value: $controls"
}

answer() {
  xdotool type --delay 20 "$1"
  xdotool key Return
}

close_relay() {
  "$run" "$bin/winprobe.exe" close "$(handle_of VorlanxForm VORLANX)" >/dev/null 2>&1
  wait_exit
}

case $case_name in
play)
  port=$(free_udp_port)
  start_relay "$(printf '[Window]\nTop=120\nLeft=140\n[Data]\nAdress=127.0.0.1\nPort=%s' "$port")"
  wait_until 30 "window" has_window VorlanxForm VORLANX
  wait_until 20 "bound port $port" udp_port_bound "$port"
  send 127.0.0.1 "$port" 90 3C 64
  send 127.0.0.1 "$port" 90 3C           # too short
  send 127.0.0.1 "$port" 80 3C 00
  send 127.0.0.1 "$port" FE 00 00        # active sensing
  send 127.0.0.1 "$port" 00 00 00
  send 127.0.0.1 "$port" 90 3C 64 90 3E 64  # two messages in one datagram
  send 127.0.0.1 "$port" B0 07 7F 00     # too long
  send 127.0.0.1 "$port" F8
  send 127.0.0.1 "$port" 7F 80 FF        # passed on unchanged
  send 127.0.0.1 "$port" C0 05 00        # the last one: all before it are handled
  wait_until 20 "five messages" plays_at_least 5
  expected=$'midiOutShortMsg 0 00643C90\nmidiOutShortMsg 0 00003C80\nmidiOutShortMsg 0 00000000\nmidiOutShortMsg 0 00FF807F\nmidiOutShortMsg 0 000005C0'
  [ "$(grep '^midiOutShortMsg' "$work/midi.log")" = "$expected" ] || fail "not the valid datagrams in order"
  close_relay
  # The driver's own reset ends what the device holds, right before the close.
  [ "$(grep -v '^midiOutShortMsg' "$work/midi.log" | tail -2)" = $'midiOutReset 0\nmidiOutClose 0' ] ||
    fail "the device was not reset and closed"
  expect_setting "Top=120"
  expect_setting "Left=140"
  expect_setting "Adress=127.0.0.1"
  expect_setting "Port=$port"
  expect_setting "MIDI-Out=0"
  settings | grep -qE '^Width=[0-9]+$' && settings | grep -qE '^Height=[0-9]+$' || fail "no size saved"
  ;;
commands)
  port=$(free_udp_port)
  start_relay "$(printf '[Data]\nAdress=127.0.0.1\nPort=%s' "$port")" "Synth A;Synth B"
  wait_until 30 "window" has_window VorlanxForm VORLANX
  wait_until 20 "bound port $port" udp_port_bound "$port"

  # The device menu, opened with the right button; datagrams go on meanwhile.
  click $DEVICE_X $DEVICE_Y 3
  wait_until 20 "device menu" has_menu
  send 127.0.0.1 "$port" 90 40 64
  wait_until 20 "a note while the menu is open" logged "midiOutShortMsg 0 00644090"
  xdotool key --delay 50 Down Down Return
  wait_until 20 "menu closed" no_menu
  wait_until 20 "Synth B opened" logged "midiOutOpen 1 0"
  logged "midiOutClose 0" || fail "Synth A was not closed"

  # The address dialog: a new address, and a note while it is open.
  click $IP_X $IP_Y 1
  expect_dialog "New receive IP adress" '(use "0.0.0.0" for any)' 127.0.0.1
  send 127.0.0.1 "$port" 90 41 64
  wait_until 20 "a note while the dialog is open" logged "midiOutShortMsg 1 00644190"
  answer 127.0.0.2
  wait_until 20 "dialog closed" no_window '#32770' "New receive IP adress"
  send 127.0.0.2 "$port" 90 42 64
  wait_until 20 "a note on the new address" logged "midiOutShortMsg 1 00644290"

  # The port dialog with text that is no number: the error box, and the port stays.
  click $PORT_X $PORT_Y 2
  expect_dialog "New local port" "1024..65535" "$port"
  answer 4000x
  expect_error_box vorlanx "'4000x' is not a valid integer value."
  send 127.0.0.2 "$port" 90 43 64
  wait_until 20 "a note while the error box is open" logged "midiOutShortMsg 1 00644390"
  "$run" "$bin/winprobe.exe" command "$(handle_of '#32770' vorlanx)" 1 >/dev/null 2>&1
  wait_until 20 "error box closed" no_window '#32770' vorlanx
  udp_port_bound "$port" || fail "the port was given up"

  # A new port.
  port2=$(free_udp_port)
  click $PORT_X $PORT_Y 1
  expect_dialog "New local port" "1024..65535" "$port"
  answer "$port2"
  wait_until 20 "bound port $port2" udp_port_bound "$port2"
  wait_until 20 "port $port given up" port_free "$port"
  send 127.0.0.2 "$port2" 90 44 64
  wait_until 20 "a note on the new port" logged "midiOutShortMsg 1 00644490"

  close_relay
  expect_setting "Adress=127.0.0.2"
  expect_setting "Port=$port2"
  expect_setting "MIDI-Out=1"
  ;;
port_in_use)
  port=$(free_udp_port)
  socat -u "UDP-RECV:$port,bind=127.0.0.1" /dev/null &
  holder_pid=$!
  wait_until 20 "port $port held" udp_port_bound "$port"
  start_relay "$(printf '[Data]\nAdress=127.0.0.1\nPort=%s' "$port")"
  expect_error_box vorlanx 'Error 10048 in function Bind\r\nAddress already in use.'
  "$run" "$bin/winprobe.exe" command "$(handle_of '#32770' vorlanx)" 1 >/dev/null 2>&1
  wait_until 30 "window after the error" has_window VorlanxForm VORLANX
  close_relay
  expect_setting "Port=$port"
  ;;
*)
  echo "unknown case $case_name" >&2
  exit 2
  ;;
esac
echo "relay $case_name: passed"
