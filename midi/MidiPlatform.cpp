#include "midi/MidiPlatform.h"

// Both tables are filled at compile time, so the registry can be used from any
// static initialiser.
#define VORLANX_WINMM_PROCEDURES                                                \
  {                                                                             \
    winmm::midiOutGetNumDevs, winmm::midiOutGetDevCapsA, winmm::midiOutOpen,    \
        winmm::midiOutShortMsg, winmm::midiOutReset, winmm::midiOutClose,       \
        winmm::midiInGetErrorTextA                                              \
  }

const TMidiPlatform WinmmMidiPlatform = VORLANX_WINMM_PROCEDURES;
TMidiPlatform MidiPlatform = VORLANX_WINMM_PROCEDURES;
