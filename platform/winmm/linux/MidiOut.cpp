// The winmm output procedures: device snapshot, handles, and the wire rule on
// top of the MIDI services in the list below.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/winmm/linux/AlsaBackend.h"
#include "platform/winmm/linux/DeviceNames.h"
#include "platform/winmm/linux/HandleTable.h"
#include "platform/winmm/linux/HeldNotes.h"
#include "platform/winmm/linux/JackBackend.h"
#include "platform/winmm/winmm.h"

namespace winmm {
namespace {

struct OpenDevice {
  std::unique_ptr<MidiSink> Sink;
  // Last channel status sent, 0 for none. Senders on several threads keep it
  // consistent message by message; their order among each other is theirs.
  std::atomic<uint8_t> RunningStatus{0};
  HeldNotes Held;
  // The sink's count of losses when Held was last forgotten.
  std::atomic<uint32_t> ForgottenAt{0};

  // A destination that went away holds nothing any more (once per loss).
  void ForgetOnLoss() {
    const uint32_t losses = Sink->Losses();
    if (ForgottenAt.exchange(losses, std::memory_order_relaxed) != losses) Held.Forget();
  }
};

// Enumeration, open and close may come from any thread; sending takes no lock.
std::mutex gLock;
HandleTable<OpenDevice> gHandles;
std::vector<DeviceEntry> gDevices;
std::vector<std::string> gShownNames;  // what the capabilities record says, per device
bool gEnumerated = false;

// The services, in the order their devices are numbered. Never destroyed:
// devices left open at exit stay usable until the process ends.
std::vector<MidiBackend*>& Backends() {
  static std::vector<MidiBackend*>* list = [] {
    auto* l = new std::vector<MidiBackend*>{new JackBackend, new AlsaBackend};
    std::atexit([] {
      std::lock_guard<std::mutex> lock(gLock);
      for (MidiBackend* b : Backends()) b->CloseAtExit();
    });
    return l;
  }();
  return *list;
}

void EnumerateLocked() {
  std::vector<DeviceEntry> devices;
  for (MidiBackend* b : Backends()) b->Enumerate(devices);
  std::vector<std::string> full;
  for (const DeviceEntry& d : devices) full.push_back(d.Name);
  gShownNames = DistinctShortNames(full, MAXPNAMELEN);
  gDevices.swap(devices);
  gEnumerated = true;
}

uintptr_t HandleValue(HMIDIOUT Handle) { return reinterpret_cast<uintptr_t>(Handle); }

}  // namespace

UINT midiOutGetNumDevs() {
  std::lock_guard<std::mutex> lock(gLock);
  EnumerateLocked();
  return static_cast<UINT>(gDevices.size());
}

MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, MIDIOUTCAPSA* pmoc, UINT cbmoc) {
  if (pmoc == nullptr) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(gLock);
  if (!gEnumerated) EnumerateLocked();
  if (uDeviceID >= gDevices.size()) return MMSYSERR_BADDEVICEID;
  const std::string& name = gShownNames[uDeviceID];
  MIDIOUTCAPSA caps;
  std::memset(&caps, 0, sizeof caps);
  caps.wMid = MM_UNMAPPED;
  caps.wPid = MM_PID_UNMAPPED;
  caps.vDriverVersion = 0x0100;
  // The whole field is used: a name of 32 bytes has no zero byte.
  std::memcpy(caps.szPname, name.data(), name.size() < MAXPNAMELEN ? name.size() : MAXPNAMELEN);
  caps.wTechnology = MOD_MIDIPORT;
  caps.wChannelMask = 0xFFFF;
  std::memcpy(pmoc, &caps, cbmoc < sizeof caps ? cbmoc : sizeof caps);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutGetFullName(UINT_PTR uDeviceID, std::string& Name) {
  std::lock_guard<std::mutex> lock(gLock);
  if (!gEnumerated) EnumerateLocked();
  if (uDeviceID >= gDevices.size()) return MMSYSERR_BADDEVICEID;
  Name = gDevices[uDeviceID].Name;
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR, DWORD_PTR, DWORD fdwOpen) {
  if (phmo == nullptr) return MMSYSERR_INVALPARAM;
  *phmo = nullptr;
  constexpr DWORD kCallbackTypeMask = 0x00070000;
  if ((fdwOpen & kCallbackTypeMask) != CALLBACK_NULL) return MMSYSERR_NOTSUPPORTED;
  std::lock_guard<std::mutex> lock(gLock);
  if (!gEnumerated) EnumerateLocked();
  if (uDeviceID >= gDevices.size()) return MMSYSERR_BADDEVICEID;

  const DeviceEntry& entry = gDevices[uDeviceID];
  std::unique_ptr<OpenDevice> device(new (std::nothrow) OpenDevice);
  if (!device) return MMSYSERR_NOMEM;
  MMRESULT r = entry.Backend->Open(entry.Id, device->Sink);
  if (r != MMSYSERR_NOERROR) return r;
  uintptr_t handle = gHandles.Insert(device.get());
  if (handle == 0) return MMSYSERR_NOMEM;
  device.release();
  *phmo = reinterpret_cast<HMIDIOUT>(handle);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg) {
  OpenDevice* device = gHandles.Acquire(HandleValue(hmo));
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  uint8_t before = device->RunningStatus.load(std::memory_order_relaxed);
  uint8_t running = before;
  WireMessage wire;
  MMRESULT r = EncodeShortMessage(dwMsg, running, wire);
  if (r == MMSYSERR_NOERROR) r = device->Sink->Send(wire);
  if (r == MMSYSERR_NOERROR) {
    device->Held.Note(wire);
    // A message that was not taken must not change what later running status means.
    if (running != before)
      device->RunningStatus.compare_exchange_strong(before, running, std::memory_order_relaxed);
  } else if (r == MIDIERR_NODEVICE) {
    device->ForgetOnLoss();
  }
  gHandles.Release(HandleValue(hmo));
  return r;
}

MMRESULT midiOutReset(HMIDIOUT hmo) {
  OpenDevice* device = gHandles.Acquire(HandleValue(hmo));
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  // A destination that went away refuses each of them.
  device->Held.Release([device](const WireMessage& Message) { device->Sink->Send(Message); });
  gHandles.Release(HandleValue(hmo));
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutCheckDestination(HMIDIOUT hmo, DWORD* Losses) {
  std::lock_guard<std::mutex> lock(gLock);
  OpenDevice* device = gHandles.Acquire(HandleValue(hmo));
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  MMRESULT r = device->Sink->Check();
  device->ForgetOnLoss();
  if (Losses != nullptr) *Losses = device->Sink->Losses();
  gHandles.Release(HandleValue(hmo));
  return r;
}

MMRESULT midiOutClose(HMIDIOUT hmo) {
  std::lock_guard<std::mutex> lock(gLock);
  OpenDevice* device = gHandles.Remove(HandleValue(hmo));
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  // A device whose server went away is released all the same: it can do nothing
  // more, and keeping it would leave a handle that can never be closed.
  delete device;
  return MMSYSERR_NOERROR;
}

}  // namespace winmm
