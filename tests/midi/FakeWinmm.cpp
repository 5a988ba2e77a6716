#include "tests/midi/FakeWinmm.h"

#include <algorithm>
#include <cstring>

using namespace winmm;

TFakeWinmm Fake;

namespace {

uintptr_t gNextHandle = 0x100;

UINT FakeGetNumDevs() { return static_cast<UINT>(Fake.Names.size()); }

MMRESULT FakeGetDevCaps(UINT_PTR Id, MIDIOUTCAPSA* Caps, UINT Size) {
  if (Id >= Fake.Names.size() || Size != sizeof(MIDIOUTCAPSA)) return MMSYSERR_BADDEVICEID;
  MMRESULT r = Id < Fake.CapsResults.size() ? Fake.CapsResults[Id] : MMSYSERR_NOERROR;
  // A failing platform may leave the record as it found it.
  if (r != MMSYSERR_NOERROR) return r;
  std::memset(Caps->szPname, 0, sizeof Caps->szPname);
  std::memcpy(Caps->szPname, Fake.Names[Id].data(),
              std::min<size_t>(Fake.Names[Id].size(), MAXPNAMELEN));
  return MMSYSERR_NOERROR;
}

MMRESULT FakeOpen(LPHMIDIOUT Handle, UINT Id, DWORD_PTR, DWORD_PTR, DWORD) {
  ++Fake.Opens;
  Fake.LastOpenedDevice = Id;
  // The platform leaves something in the handle even when it fails.
  *Handle = reinterpret_cast<HMIDIOUT>(gNextHandle++);
  return Fake.OpenResult;
}

MMRESULT FakeShortMsg(HMIDIOUT Handle, DWORD Message) {
  ++Fake.Sends;
  Fake.LastSentTo = Handle;
  Fake.LastMessage = Message;
  if (Handle == nullptr) return MMSYSERR_INVALHANDLE;
  return Fake.SendResult;
}

MMRESULT FakeReset(HMIDIOUT Handle) {
  Fake.Ends += "reset ";
  if (Handle == nullptr) return MMSYSERR_INVALHANDLE;
  return Fake.ResetResult;
}

MMRESULT FakeClose(HMIDIOUT Handle) {
  Fake.Ends += "close ";
  ++Fake.Closes;
  Fake.LastClosed = Handle;
  if (Handle == nullptr) return MMSYSERR_INVALHANDLE;
  return Fake.CloseResult;
}

MMRESULT FakeErrorText(MMRESULT Code, char* Text, UINT Size) {
  auto it = Fake.Texts.find(Code);
  if (it == Fake.Texts.end()) return MMSYSERR_BADERRNUM;
  if (Fake.UnterminatedTexts) {
    std::memset(Text, 'x', Size);
    return MMSYSERR_NOERROR;
  }
  std::strncpy(Text, it->second.c_str(), Size - 1);
  Text[Size - 1] = '\0';
  return MMSYSERR_NOERROR;
}

}  // namespace

TFakeWinmmScope::TFakeWinmmScope() {
  Fake = TFakeWinmm();
  Fake.Texts[MMSYSERR_INVALHANDLE] = "The specified device handle is invalid.";
  MidiPlatform = {FakeGetNumDevs, FakeGetDevCaps, FakeOpen, FakeShortMsg, FakeReset, FakeClose,
                  FakeErrorText};
}

TFakeWinmmScope::~TFakeWinmmScope() { MidiPlatform = WinmmMidiPlatform; }
