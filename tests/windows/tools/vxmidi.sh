#!/usr/bin/env bash
# vxmidi.exe under Wine with the test winmm.dll: its list is the double's
# devices, a test note is an open, a note-on, a note-off and a close, and Ctrl+C
# while the note sounds still ends it.
# usage: vxmidi.sh WINE_RUN VXMIDI_EXE
WINE_RUN=$1
VXMIDI=$2
. "$(dirname "$0")/lib.sh"
export VORLANX_TEST_WINMM_LOG=$work/midi.log
export VORLANX_TEST_WINMM_DEVICES="Synth A;Synth B"

vxmidi() { timeout 60 "$WINE_RUN" "$VXMIDI" "$@" >"$work/out" 2>"$work/err"; }

vxmidi --list
expect_eq "--list status" 0 $?
expect_eq "--list" "$(printf '0\tSynth A\tSynth A\n1\tSynth B\tSynth B')" "$(text "$work/out")"

vxmidi --play "Synth B"
expect_eq "--play by name" 0 $?
expect_eq "played" "played a test note on Synth B" "$(text "$work/out")"
vxmidi --play=0 --hold=20
expect_eq "--play by number" 0 $?
expect_eq "the log" "$(printf '%s\n' 'midiOutOpen 1 0' 'midiOutShortMsg 1 00643C90' \
  'midiOutShortMsg 1 00003C80' 'midiOutReset 1' 'midiOutClose 1' 'midiOutOpen 0 0' \
  'midiOutShortMsg 0 00643C90' 'midiOutShortMsg 0 00003C80' 'midiOutReset 0' 'midiOutClose 0')" \
  "$(text "$work/midi.log")"

vxmidi --play 2
expect_eq "a number out of range" 1 $?
expect_eq "its text" "vxmidi: TMidiOutput: Device index out of bounds! (2)" "$(text "$work/err")"
vxmidi --play nobody
expect_eq "an unknown name" 1 $?
vxmidi --play 0 --hold 0
expect_eq "a bad hold" 2 $?

VORLANX_TEST_WINMM_DEVICES= vxmidi --list
expect_eq "no devices: status" 0 $?
expect_eq "no devices: list" "" "$(text "$work/out")"
expect_eq "no devices: said so" "vxmidi: no MIDI outputs found" "$(text "$work/err")"

# Wine turns SIGINT into the console's Ctrl+C event.
: >"$work/midi.log"
"$WINE_RUN" "$VXMIDI" --play 1 --hold 60000 >"$work/out" 2>"$work/err" &
pid=$!
started+=("$pid")
if wait_for "$work/midi.log" "midiOutShortMsg 1 00643C90"; then
  kill -INT "$pid"
  wait_exit "$pid" 20
  expect_eq "Ctrl+C: status" 130 $?
  expect_eq "Ctrl+C: the note ended, the device closed" \
    "$(printf '%s\n' 'midiOutOpen 1 0' 'midiOutShortMsg 1 00643C90' 'midiOutShortMsg 1 00003C80' \
      'midiOutReset 1' 'midiOutClose 1')" "$(text "$work/midi.log")"
  expect_eq "Ctrl+C: said so" "vxmidi: interrupted; the note on Synth B was ended" "$(text "$work/err")"
else
  fail "the note did not start: $(text "$work/err")"
fi
finish
