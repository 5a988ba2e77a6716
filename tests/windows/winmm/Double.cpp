// winmm.dll for the Windows tests: MIDI outputs that exist only in the
// environment and a log of what was played on them. Placed beside a program
// and loaded in place of the system's winmm (under Wine with winmm=n).
//
//   VORLANX_TEST_WINMM_DEVICES  device names separated by ";"; unset: one
//                               device "Test Synth"; empty: none
//   VORLANX_TEST_WINMM_LOG      file each open, message, reset and close is
//                               appended to, one line each:
//     midiOutOpen <device> <result>
//     midiOutShortMsg <device> <message as 8 upper-case hex digits>
//     midiOutReset <device>
//     midiOutClose <device>
//
// Like a real output a device is open once at a time (MMSYSERR_ALLOCATED for a
// second open); a call on a handle that is not open (null, closed, made up) is
// refused with MMSYSERR_INVALHANDLE and logs nothing: it reaches no device.
// The error texts are the ones the Linux stand-in gives.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/winmm/winmm.h"
#include "tests/windows/winmm/Double.h"

namespace {

using winmm::MMRESULT;
using winmm::UINT;

struct TOpenDevice {
  UINT Device;
};

std::mutex gLock;
// The devices of the latest count, as Windows keeps them between counts.
std::vector<std::string> gDevices;
bool gCounted = false;
std::set<TOpenDevice*> gOpen;

void CountLocked() {
  std::string list;
  gDevices.clear();
  if (!winmm_double::Environment("VORLANX_TEST_WINMM_DEVICES", list)) {
    gDevices.push_back("Test Synth");
  } else if (!list.empty()) {
    size_t start = 0;
    for (size_t end; (end = list.find(';', start)) != std::string::npos; start = end + 1)
      gDevices.push_back(list.substr(start, end - start));
    gDevices.push_back(list.substr(start));
  }
  gCounted = true;
}

bool KnownDevice(winmm::UINT_PTR Device) {
  if (!gCounted) CountLocked();
  return Device < gDevices.size();
}

TOpenDevice* OpenDeviceLocked(winmm::HMIDIOUT Handle) {
  auto* device = reinterpret_cast<TOpenDevice*>(Handle);
  return gOpen.count(device) ? device : nullptr;
}

std::string Line(const char* Procedure, UINT Device) {
  return std::string(Procedure) + " " + std::to_string(Device);
}

}  // namespace

extern "C" {

UINT midiOutGetNumDevs() {
  std::lock_guard<std::mutex> lock(gLock);
  CountLocked();
  return static_cast<UINT>(gDevices.size());
}

MMRESULT midiOutGetDevCapsA(winmm::UINT_PTR uDeviceID, winmm::MIDIOUTCAPSA* pmoc, UINT cbmoc) {
  if (pmoc == nullptr) return winmm::MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(gLock);
  if (!KnownDevice(uDeviceID)) return winmm::MMSYSERR_BADDEVICEID;
  winmm::MIDIOUTCAPSA caps;
  std::memset(&caps, 0, sizeof caps);
  caps.wMid = winmm::MM_UNMAPPED;
  caps.wPid = winmm::MM_PID_UNMAPPED;
  caps.vDriverVersion = 0x0100;
  // A name of 32 bytes or more fills the field without a zero byte.
  const std::string& name = gDevices[uDeviceID];
  std::memcpy(caps.szPname, name.data(), std::min<size_t>(name.size(), winmm::MAXPNAMELEN));
  caps.wTechnology = winmm::MOD_MIDIPORT;
  caps.wChannelMask = 0xFFFF;
  std::memcpy(pmoc, &caps, std::min<size_t>(cbmoc, sizeof caps));
  return winmm::MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(winmm::LPHMIDIOUT phmo, UINT uDeviceID, winmm::DWORD_PTR, winmm::DWORD_PTR,
                     winmm::DWORD fdwOpen) {
  if (phmo == nullptr) return winmm::MMSYSERR_INVALPARAM;
  *phmo = nullptr;
  std::lock_guard<std::mutex> lock(gLock);
  MMRESULT result = winmm::MMSYSERR_NOERROR;
  constexpr winmm::DWORD kCallbackTypeMask = 0x00070000;
  if (!KnownDevice(uDeviceID)) {
    result = winmm::MMSYSERR_BADDEVICEID;
  } else if ((fdwOpen & kCallbackTypeMask) != winmm::CALLBACK_NULL) {
    result = winmm::MMSYSERR_INVALFLAG;  // nothing here calls back
  } else {
    for (TOpenDevice* open : gOpen)
      if (open->Device == uDeviceID) result = winmm::MMSYSERR_ALLOCATED;
  }
  if (result == winmm::MMSYSERR_NOERROR) {
    auto* device = new TOpenDevice{uDeviceID};
    gOpen.insert(device);
    *phmo = reinterpret_cast<winmm::HMIDIOUT>(device);
  }
  winmm_double::Log(Line("midiOutOpen", uDeviceID) + " " + std::to_string(result));
  return result;
}

MMRESULT midiOutShortMsg(winmm::HMIDIOUT hmo, winmm::DWORD dwMsg) {
  std::lock_guard<std::mutex> lock(gLock);
  TOpenDevice* device = OpenDeviceLocked(hmo);
  if (device == nullptr) return winmm::MMSYSERR_INVALHANDLE;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(dwMsg));
  winmm_double::Log(Line("midiOutShortMsg", device->Device) + " " + hex);
  return winmm::MMSYSERR_NOERROR;
}

MMRESULT midiOutReset(winmm::HMIDIOUT hmo) {
  std::lock_guard<std::mutex> lock(gLock);
  TOpenDevice* device = OpenDeviceLocked(hmo);
  if (device == nullptr) return winmm::MMSYSERR_INVALHANDLE;
  winmm_double::Log(Line("midiOutReset", device->Device));
  return winmm::MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(winmm::HMIDIOUT hmo) {
  std::lock_guard<std::mutex> lock(gLock);
  TOpenDevice* device = OpenDeviceLocked(hmo);
  if (device == nullptr) return winmm::MMSYSERR_INVALHANDLE;
  gOpen.erase(device);
  winmm_double::Log(Line("midiOutClose", device->Device));
  delete device;
  return winmm::MMSYSERR_NOERROR;
}

MMRESULT midiInGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText) {
  return winmm::midiInGetErrorTextA(mmrError, pszText, cchText);
}

MMRESULT midiOutGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText) {
  return winmm::midiOutGetErrorTextA(mmrError, pszText, cchText);
}

}  // extern "C"
