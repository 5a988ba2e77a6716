#include "tools/vxmidi/Devices.h"

#include <cstdio>

#include "midi/Midi.h"
#include "platform/winmm/winmm.h"
#include "rtl/SysUtils.h"
#include "tools/vxmidi/Interrupt.h"

namespace vxmidi {
namespace {

// The registry's list and the full names come from the same snapshot: the
// registry takes it when it is built, and nothing enumerates again meanwhile.
std::string FullName(int32_t Index) {
  std::string name;
  if (winmm::midiOutGetFullName(static_cast<winmm::UINT_PTR>(Index), name) !=
      winmm::MMSYSERR_NOERROR)
    return MidiOutput()->FDevices.Strings(Index);
  return name;
}

bool IsIndex(const std::string& S) {
  if (S.empty()) return false;
  size_t i = S[0] == '-' ? 1 : 0;
  if (i == S.size()) return false;
  for (; i < S.size(); ++i)
    if (S[i] < '0' || S[i] > '9') return false;
  return true;
}

// A failure the platform has no text for raises nothing in the registry; it
// still must not pass for success.
void CheckSilentFailure() {
  int32_t result = MidiOutput()->FLastResult;
  if (result != 0) throw Exception(Format("MIDI error %d", result));
}

}  // namespace

int ListDevices() {
  TMidiOutput* out = MidiOutput();
  for (int i = 0; i < out->FDevices.Count(); ++i)
    std::printf("%d\t%s\t%s\n", i, out->FDevices.Strings(i).c_str(), FullName(i).c_str());
  return out->FDevices.Count();
}

int32_t FindDevice(const std::string& Device) {
  if (IsIndex(Device)) {
    int32_t index = 0;
    if (TryStrToInt(Device, index)) return index;
    throw Exception("no MIDI output number " + Device);
  }
  TMidiOutput* out = MidiOutput();
  for (int i = 0; i < out->FDevices.Count(); ++i)
    if (FullName(i) == Device) return i;
  for (int i = 0; i < out->FDevices.Count(); ++i)
    if (out->FDevices.Strings(i) == Device) return i;
  throw Exception("no MIDI output named \"" + Device + "\" (vxmidi --list shows them)");
}

std::string PlayTestNote(int32_t Index, uint8_t Note, unsigned HoldMs, bool& Interrupted) {
  TMidiOutput* out = MidiOutput();
  // From before the note starts until the device is closed: an interrupt must
  // not leave a note hanging on the synthesizer.
  TInterruptGuard guard;
  out->OpenDevice(Index);
  CheckSilentFailure();
  const std::string name = out->FDevices.Strings(Index);
  out->SendShortMessage(Index, 0x90, Note, 100);
  CheckSilentFailure();
  guard.Wait(HoldMs);
  out->SendShortMessage(Index, 0x80, Note, 0);
  CheckSilentFailure();
  out->CloseDevice(Index);
  CheckSilentFailure();
  Interrupted = guard.Interrupted();
  return name;
}

}  // namespace vxmidi
