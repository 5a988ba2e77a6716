// The multimedia procedures the registry calls, reached through one table so a
// test can put a double of the platform in their place.
#pragma once

#include "platform/winmm/winmm.h"

struct TMidiPlatform {
  winmm::UINT (*midiOutGetNumDevs)();
  winmm::MMRESULT (*midiOutGetDevCapsA)(winmm::UINT_PTR, winmm::MIDIOUTCAPSA*, winmm::UINT);
  winmm::MMRESULT (*midiOutOpen)(winmm::LPHMIDIOUT, winmm::UINT, winmm::DWORD_PTR, winmm::DWORD_PTR,
                                 winmm::DWORD);
  winmm::MMRESULT (*midiOutShortMsg)(winmm::HMIDIOUT, winmm::DWORD);
  winmm::MMRESULT (*midiOutReset)(winmm::HMIDIOUT);
  winmm::MMRESULT (*midiOutClose)(winmm::HMIDIOUT);
  winmm::MMRESULT (*midiInGetErrorTextA)(winmm::MMRESULT, char*, winmm::UINT);
};

// The platform's own procedures.
extern const TMidiPlatform WinmmMidiPlatform;
// What the registry calls; WinmmMidiPlatform unless a test replaced it.
extern TMidiPlatform MidiPlatform;
