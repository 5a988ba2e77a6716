// The process-wide registry of MIDI output devices: enumerated once on first
// use, opened and closed by index, and every platform failure turned into an
// Exception carrying the platform's own text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "midi/MidiPlatform.h"
#include "rtl/Object.h"

// The device list: one entry per device, in device-number order.
class TMidiDeviceList : public TObject {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // Both raise EListError "List index out of bounds (%d)" for a bad index.
  const std::string& Strings(int Index) const;
  winmm::HMIDIOUT Handles(int Index) const;
  void SetHandle(int Index, winmm::HMIDIOUT Handle);
  int Add(const std::string& Name, winmm::HMIDIOUT Handle);

 private:
  struct TEntry {
    std::string Name;
    winmm::HMIDIOUT Handle;
  };
  void CheckIndex(int Index) const;
  std::vector<TEntry> FItems;
};

class TMidiDevices : public TObject {
 public:
  TMidiDevices() = default;
  // Frees the list; devices still open stay open.
  ~TMidiDevices() override = default;

  virtual void OpenDevice(int32_t Index) = 0;
  virtual void CloseDevice(int32_t Index) = 0;

  // Stores Result in FLastResult; raises Exception with the platform's text for
  // a failure whose text the platform knows.
  void CheckResult(winmm::MMRESULT Result);
  // The entry's handle, null while closed; raises
  // "<class name>: Device index out of bounds! (<index>)" for a bad index.
  winmm::HMIDIOUT DeviceHandle(int32_t Index);

  TMidiDeviceList FDevices;
  int32_t FLastResult = 0;
};

class TMidiOutput : public TMidiDevices {
 public:
  // Enumerates the output devices; a platform failure with a known text raises.
  TMidiOutput();

  void OpenDevice(int32_t Index) override;
  void CloseDevice(int32_t Index) override;
  // Opens the device first when it is closed. A bad index raises the list's own
  // "List index out of bounds (%d)".
  void SendShortMessage(int32_t Index, uint8_t Status, uint8_t Data1, uint8_t Data2);
};

// The registry, created (and the devices enumerated) on the first call.
TMidiOutput* MidiOutput();
// Destroys the registry at program end, after the relay window is gone; closes
// no device. The next MidiOutput() builds a new one.
void FinalizeMidiOutput();
