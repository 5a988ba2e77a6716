// The winmm output procedures: device snapshot, handles, and the wire rule on
// top of the JACK and ALSA sequencer backends.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/winmm/AlsaBackend.h"
#include "platform/winmm/JackBackend.h"
#include "platform/winmm/winmm.h"

namespace winmm {
namespace {

struct OpenDevice {
  std::unique_ptr<MidiSink> Sink;
  uint8_t RunningStatus = 0;  // last channel status sent, 0 for none
};

// Handles are slot numbers with a generation, so a stale or made-up handle is
// recognised without touching freed memory.
constexpr unsigned kSlotBits = 8;
constexpr unsigned kMaxHandles = 1u << kSlotBits;
constexpr uint32_t kMaxGeneration = 0xFFFFFF;

struct HandleSlot {
  OpenDevice* Device = nullptr;
  uint32_t Generation = 0;
};

// Enumeration, open and close may come from any thread; sending takes no lock.
std::mutex gLock;
HandleSlot gHandles[kMaxHandles];
std::vector<DeviceEntry> gDevices;
bool gEnumerated = false;

// Never destroyed: devices left open at exit stay usable until the process
// ends, when the connection to the server is closed.
JackBackend& Jack() {
  static JackBackend* backend = [] {
    auto* b = new JackBackend;
    std::atexit([] {
      std::lock_guard<std::mutex> lock(gLock);
      Jack().CloseAtExit();
    });
    return b;
  }();
  return *backend;
}
AlsaBackend& Alsa() {
  static AlsaBackend* backend = new AlsaBackend;
  return *backend;
}

void EnumerateLocked() {
  std::vector<DeviceEntry> devices;
  Jack().Enumerate(devices);
  Alsa().Enumerate(devices);
  gDevices.swap(devices);
  gEnumerated = true;
}

HMIDIOUT MakeHandle(unsigned Slot, uint32_t Generation) {
  return reinterpret_cast<HMIDIOUT>(static_cast<uintptr_t>(Generation) << kSlotBits | Slot);
}

HandleSlot* FindSlot(HMIDIOUT Handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(Handle);
  HandleSlot& slot = gHandles[value & (kMaxHandles - 1)];
  uintptr_t generation = value >> kSlotBits;
  if (generation == 0 || generation != slot.Generation || slot.Device == nullptr) return nullptr;
  return &slot;
}

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
  const std::string& name = gDevices[uDeviceID].Name;
  MIDIOUTCAPSA caps;
  std::memset(&caps, 0, sizeof caps);
  caps.wMid = MM_UNMAPPED;
  caps.wPid = MM_PID_UNMAPPED;
  caps.vDriverVersion = 0x0100;
  // The whole field is used: a name of 32 bytes or more has no zero byte.
  std::memcpy(caps.szPname, name.data(), name.size() < MAXPNAMELEN ? name.size() : MAXPNAMELEN);
  caps.wTechnology = MOD_MIDIPORT;
  caps.wChannelMask = 0xFFFF;
  std::memcpy(pmoc, &caps, cbmoc < sizeof caps ? cbmoc : sizeof caps);
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
  unsigned slot = 0;
  while (slot < kMaxHandles && gHandles[slot].Device != nullptr) ++slot;
  if (slot == kMaxHandles) return MMSYSERR_NOMEM;

  const DeviceEntry& entry = gDevices[uDeviceID];
  std::unique_ptr<OpenDevice> device(new (std::nothrow) OpenDevice);
  if (!device) return MMSYSERR_NOMEM;
  MMRESULT r = entry.Kind == BackendKind::Jack
                   ? Jack().Open(entry.JackPort, device->Sink)
                   : Alsa().Open(entry.AlsaClient, entry.AlsaPort, device->Sink);
  if (r != MMSYSERR_NOERROR) return r;

  HandleSlot& h = gHandles[slot];
  h.Generation = h.Generation >= kMaxGeneration ? 1 : h.Generation + 1;
  h.Device = device.release();
  *phmo = MakeHandle(slot, h.Generation);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg) {
  HandleSlot* slot = FindSlot(hmo);
  if (slot == nullptr) return MMSYSERR_INVALHANDLE;
  OpenDevice& device = *slot->Device;
  uint8_t running = device.RunningStatus;
  WireMessage wire;
  MMRESULT r = EncodeShortMessage(dwMsg, running, wire);
  if (r != MMSYSERR_NOERROR) return r;
  r = device.Sink->Send(wire);
  // A message that was not taken must not change what later running status means.
  if (r == MMSYSERR_NOERROR) device.RunningStatus = running;
  return r;
}

MMRESULT midiOutClose(HMIDIOUT hmo) {
  std::lock_guard<std::mutex> lock(gLock);
  HandleSlot* slot = FindSlot(hmo);
  if (slot == nullptr) return MMSYSERR_INVALHANDLE;
  OpenDevice* device = slot->Device;
  slot->Device = nullptr;
  // A device whose server went away is released all the same: it can do nothing
  // more, and keeping it would leave a handle that can never be closed.
  delete device;
  return MMSYSERR_NOERROR;
}

}  // namespace winmm
