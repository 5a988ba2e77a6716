#include "midi/Midi.h"

#include <cstring>

#include "rtl/SysUtils.h"

using namespace winmm;

void TMidiDeviceList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError(Format("List index out of bounds (%d)", Index));
}

const std::string& TMidiDeviceList::Strings(int Index) const {
  CheckIndex(Index);
  return FItems[static_cast<size_t>(Index)].Name;
}

HMIDIOUT TMidiDeviceList::Handles(int Index) const {
  CheckIndex(Index);
  return FItems[static_cast<size_t>(Index)].Handle;
}

void TMidiDeviceList::SetHandle(int Index, HMIDIOUT Handle) {
  CheckIndex(Index);
  FItems[static_cast<size_t>(Index)].Handle = Handle;
}

int TMidiDeviceList::Add(const std::string& Name, HMIDIOUT Handle) {
  FItems.push_back(TEntry{Name, Handle});
  return Count() - 1;
}

void TMidiDevices::CheckResult(MMRESULT Result) {
  FLastResult = static_cast<int32_t>(Result);
  if (Result == MMSYSERR_NOERROR) return;
  char text[128];
  std::memset(text, 0, sizeof text);
  // A code the platform has no text for is only visible in FLastResult.
  if (MidiPlatform.midiInGetErrorTextA(Result, text, sizeof text) != MMSYSERR_NOERROR) return;
  throw Exception(std::string(text, strnlen(text, sizeof text - 1)));
}

HMIDIOUT TMidiDevices::DeviceHandle(int32_t Index) {
  if (Index < 0 || Index > FDevices.Count() - 1)
    throw Exception(Format("%s: Device index out of bounds! (%d)", ClassName().c_str(), Index));
  return FDevices.Handles(Index);
}

TMidiOutput::TMidiOutput() {
  UINT count = MidiPlatform.midiOutGetNumDevs();
  for (UINT i = 0; i < count; ++i) {
    // Zeroed, so a record the platform failed to fill without saying why gives
    // an empty name rather than stray bytes; the entry still keeps its number.
    MIDIOUTCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    CheckResult(MidiPlatform.midiOutGetDevCapsA(i, &caps, sizeof caps));
    FDevices.Add(std::string(caps.szPname, strnlen(caps.szPname, MAXPNAMELEN)), nullptr);
  }
}

void TMidiOutput::OpenDevice(int32_t Index) {
  if (DeviceHandle(Index) != nullptr) return;
  HMIDIOUT handle = nullptr;
  MMRESULT result =
      MidiPlatform.midiOutOpen(&handle, static_cast<UINT>(Index), 0, 0, CALLBACK_NULL);
  CheckResult(result);
  // A failed open whose text is unknown raised nothing; it is still not open.
  if (result == MMSYSERR_NOERROR) FDevices.SetHandle(Index, handle);
}

void TMidiOutput::CloseDevice(int32_t Index) {
  HMIDIOUT handle = DeviceHandle(Index);
  // Notes still held would sound for ever once nothing can end them. A reset
  // that fails (the destination or its server went away) does not keep the
  // device from being closed.
  if (handle != nullptr) MidiPlatform.midiOutReset(handle);
  MMRESULT result = MidiPlatform.midiOutClose(handle);
  CheckResult(result);
  // Likewise a failed close leaves the device open, so it can be closed again.
  if (result == MMSYSERR_NOERROR) FDevices.SetHandle(Index, nullptr);
}

void TMidiOutput::SendShortMessage(int32_t Index, uint8_t Status, uint8_t Data1, uint8_t Data2) {
  if (FDevices.Handles(Index) == nullptr) OpenDevice(Index);
  DWORD message = static_cast<DWORD>(Status) + static_cast<DWORD>(Data1) * 256u +
                  static_cast<DWORD>(Data2) * 65536u;
  CheckResult(MidiPlatform.midiOutShortMsg(DeviceHandle(Index), message));
}

namespace {
TMidiOutput* gMidiOutput = nullptr;
}

TMidiOutput* MidiOutput() {
  if (gMidiOutput == nullptr) gMidiOutput = new TMidiOutput;
  return gMidiOutput;
}

void FinalizeMidiOutput() {
  delete gMidiOutput;
  gMidiOutput = nullptr;
}
