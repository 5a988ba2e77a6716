// A test double of the multimedia procedures, installed into the registry's
// MidiPlatform table, for failures a real MIDI service cannot be made to produce.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "midi/MidiPlatform.h"

struct TFakeWinmm {
  // Raw 32-byte product name fields, one per device, and what each caps call returns.
  std::vector<std::string> Names;
  std::vector<winmm::MMRESULT> CapsResults;
  winmm::MMRESULT OpenResult = winmm::MMSYSERR_NOERROR;
  winmm::MMRESULT CloseResult = winmm::MMSYSERR_NOERROR;
  winmm::MMRESULT SendResult = winmm::MMSYSERR_NOERROR;
  winmm::MMRESULT ResetResult = winmm::MMSYSERR_NOERROR;
  // Codes the fake platform has texts for; text lookups of others fail.
  std::map<winmm::MMRESULT, std::string> Texts;
  // Raw bytes the text lookup writes (no terminator) instead of a text.
  bool UnterminatedTexts = false;

  int Opens = 0;
  int Closes = 0;
  int Sends = 0;
  unsigned LastOpenedDevice = 0;
  winmm::HMIDIOUT LastClosed = nullptr;
  winmm::HMIDIOUT LastSentTo = nullptr;
  winmm::DWORD LastMessage = 0;
  // "reset" and "close", each followed by a space, in the order called.
  std::string Ends;
};

// The double's state; reset by each install.
extern TFakeWinmm Fake;

// Puts the double in the registry's table for the lifetime of this object.
class TFakeWinmmScope {
 public:
  TFakeWinmmScope();
  ~TFakeWinmmScope();
};
