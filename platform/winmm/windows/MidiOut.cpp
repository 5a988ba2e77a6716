// The winmm procedures the upper layers call, on the real multimedia service.
// The project's header comes first, while its names are still plain C++ names:
// once <windows.h> is in, MMSYSERR_* and the like are macros, so below it only
// the real ones are spelt out.
#include <cstring>

#include "platform/winmm/winmm.h"

// Every constant the project declares, checked against the real one below.
#define VORLANX_WINMM_CONSTANTS(X)                                                                \
  X(MAXPNAMELEN)                                                                                  \
  X(MOD_MIDIPORT) X(MIDI_MAPPER) X(CALLBACK_NULL) X(MMSYSERR_BASE) X(MMSYSERR_NOERROR)            \
      X(MMSYSERR_ERROR) X(MMSYSERR_BADDEVICEID) X(MMSYSERR_NOTENABLED) X(MMSYSERR_ALLOCATED)      \
          X(MMSYSERR_INVALHANDLE) X(MMSYSERR_NODRIVER) X(MMSYSERR_NOMEM) X(MMSYSERR_NOTSUPPORTED) \
              X(MMSYSERR_BADERRNUM) X(MMSYSERR_INVALFLAG) X(MMSYSERR_INVALPARAM)                  \
                  X(MMSYSERR_HANDLEBUSY) X(MMSYSERR_INVALIDALIAS) X(MMSYSERR_BADDB)               \
                      X(MMSYSERR_KEYNOTFOUND) X(MMSYSERR_READERROR) X(MMSYSERR_WRITEERROR)        \
                          X(MMSYSERR_DELETEERROR) X(MMSYSERR_VALNOTFOUND) X(MMSYSERR_NODRIVERCB)  \
                              X(MMSYSERR_MOREDATA) X(MMSYSERR_LASTERROR) X(MIDIERR_BASE)          \
                                  X(MIDIERR_UNPREPARED) X(MIDIERR_STILLPLAYING) X(MIDIERR_NOMAP)  \
                                      X(MIDIERR_NOTREADY) X(MIDIERR_NODEVICE)                     \
                                          X(MIDIERR_INVALIDSETUP) X(MIDIERR_BADOPENMODE)          \
                                              X(MIDIERR_LASTERROR) X(MM_UNMAPPED)                 \
                                                  X(MM_PID_UNMAPPED)

namespace ours {
// Pasted names are not expanded, so these keep the project's values.
#define VORLANX_COPY(name) constexpr unsigned long long k##name = winmm::name;
VORLANX_WINMM_CONSTANTS(VORLANX_COPY)
#undef VORLANX_COPY
}  // namespace ours

#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

#define VORLANX_CHECK(name) \
  static_assert(ours::k##name == static_cast<unsigned long long>(name), #name " differs");
VORLANX_WINMM_CONSTANTS(VORLANX_CHECK)
#undef VORLANX_CHECK

// The one record the registry reads, field by field.
static_assert(sizeof(winmm::MIDIOUTCAPSA) == sizeof(::MIDIOUTCAPSA), "MIDIOUTCAPSA size");
#define VORLANX_FIELD(field)                                                               \
  static_assert(offsetof(winmm::MIDIOUTCAPSA, field) == offsetof(::MIDIOUTCAPSA, field) && \
                    sizeof(winmm::MIDIOUTCAPSA::field) == sizeof(::MIDIOUTCAPSA::field),   \
                "MIDIOUTCAPSA::" #field);
VORLANX_FIELD(wMid)
VORLANX_FIELD(wPid)
VORLANX_FIELD(vDriverVersion)
VORLANX_FIELD(szPname)
VORLANX_FIELD(wTechnology)
VORLANX_FIELD(wVoices)
VORLANX_FIELD(wNotes)
VORLANX_FIELD(wChannelMask)
VORLANX_FIELD(dwSupport)
#undef VORLANX_FIELD

// The scalar types cross the seam as they are; the handles are opaque on both sides.
static_assert(sizeof(winmm::UINT) == sizeof(::UINT), "UINT");
static_assert(sizeof(winmm::DWORD) == sizeof(::DWORD), "DWORD");
static_assert(sizeof(winmm::UINT_PTR) == sizeof(::UINT_PTR), "UINT_PTR");
static_assert(sizeof(winmm::DWORD_PTR) == sizeof(::DWORD_PTR), "DWORD_PTR");
static_assert(sizeof(winmm::MMRESULT) == sizeof(::MMRESULT), "MMRESULT");
static_assert(sizeof(winmm::HMIDIOUT) == sizeof(::HMIDIOUT), "HMIDIOUT");

namespace {
::HMIDIOUT Real(winmm::HMIDIOUT Handle) { return reinterpret_cast<::HMIDIOUT>(Handle); }
}  // namespace

namespace winmm {

UINT midiOutGetNumDevs() { return ::midiOutGetNumDevs(); }

MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, MIDIOUTCAPSA* pmoc, UINT cbmoc) {
  return ::midiOutGetDevCapsA(uDeviceID, reinterpret_cast<::MIDIOUTCAPSA*>(pmoc), cbmoc);
}

MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                     DWORD fdwOpen) {
  return ::midiOutOpen(reinterpret_cast<::HMIDIOUT*>(phmo), uDeviceID, dwCallback, dwInstance,
                       fdwOpen);
}

MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg) { return ::midiOutShortMsg(Real(hmo), dwMsg); }

MMRESULT midiOutReset(HMIDIOUT hmo) { return ::midiOutReset(Real(hmo)); }

MMRESULT midiOutClose(HMIDIOUT hmo) { return ::midiOutClose(Real(hmo)); }

MMRESULT midiInGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText) {
  return ::midiInGetErrorTextA(mmrError, pszText, cchText);
}

MMRESULT midiOutGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText) {
  return ::midiOutGetErrorTextA(mmrError, pszText, cchText);
}

// Windows keeps no longer name than the capabilities record's (up to 31
// characters and a zero byte).
MMRESULT midiOutGetFullName(UINT_PTR uDeviceID, std::string& Name) {
  ::MIDIOUTCAPSA caps;
  std::memset(&caps, 0, sizeof caps);
  ::MMRESULT result = ::midiOutGetDevCapsA(uDeviceID, &caps, sizeof caps);
  if (result != MMSYSERR_NOERROR) return result;
  Name.assign(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
  return MMSYSERR_NOERROR;
}

// winmm tells nobody of devices that come and go; a device that went away
// fails its sends, and the program looks for it again by name.
bool midiOutNotifyChanges(void (*)(void*), void*) { return false; }

MMRESULT midiOutCheckDestination(HMIDIOUT, DWORD* Losses) {
  if (Losses != nullptr) *Losses = 0;
  return MMSYSERR_NOERROR;
}

}  // namespace winmm
