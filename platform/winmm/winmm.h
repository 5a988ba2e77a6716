// Windows-shaped MIDI output on Linux: the winmm procedures the MIDI registry
// calls, with the Windows result codes and texts.
//
// Devices are the MIDI input ports of other JACK clients (in the server's port
// order), followed by the writable ALSA sequencer ports when a sequencer exists.
// Each midiOutGetNumDevs takes a fresh snapshot; device numbers index the latest
// snapshot.
//
// midiOutShortMsg never blocks, locks or allocates: on JACK the message is
// stamped with the time of the call and queued for the process callback, which
// plays it one period after the call (never earlier; later only when a cycle
// itself comes late). Handles may be used from any thread, several at once: a
// handle closed meanwhile gives MMSYSERR_INVALHANDLE, never a freed device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace winmm {

using UINT = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using CHAR = char;
using UINT_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using MMRESULT = UINT;
using MMVERSION = UINT;

struct HMIDIOUT__;
using HMIDIOUT = HMIDIOUT__*;
using LPHMIDIOUT = HMIDIOUT*;

constexpr UINT MAXPNAMELEN = 32;

// Output device capabilities; 52 bytes, product name at offset 8.
struct MIDIOUTCAPSA {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  CHAR szPname[MAXPNAMELEN];
  WORD wTechnology;
  WORD wVoices;
  WORD wNotes;
  WORD wChannelMask;
  DWORD dwSupport;
};
static_assert(sizeof(MIDIOUTCAPSA) == 52, "MIDIOUTCAPSA is 52 bytes");
static_assert(offsetof(MIDIOUTCAPSA, szPname) == 8, "szPname sits at offset 8");

constexpr WORD MM_UNMAPPED = 0xFFFF;
constexpr WORD MM_PID_UNMAPPED = 0xFFFF;
constexpr WORD MOD_MIDIPORT = 1;
constexpr UINT MIDI_MAPPER = 0xFFFFFFFFu;
constexpr DWORD CALLBACK_NULL = 0x00000000;

constexpr MMRESULT MMSYSERR_BASE = 0;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT MMSYSERR_INVALIDALIAS = 13;
constexpr MMRESULT MMSYSERR_BADDB = 14;
constexpr MMRESULT MMSYSERR_KEYNOTFOUND = 15;
constexpr MMRESULT MMSYSERR_READERROR = 16;
constexpr MMRESULT MMSYSERR_WRITEERROR = 17;
constexpr MMRESULT MMSYSERR_DELETEERROR = 18;
constexpr MMRESULT MMSYSERR_VALNOTFOUND = 19;
constexpr MMRESULT MMSYSERR_NODRIVERCB = 20;
constexpr MMRESULT MMSYSERR_MOREDATA = 21;
constexpr MMRESULT MMSYSERR_LASTERROR = 21;

constexpr MMRESULT MIDIERR_BASE = 64;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NOMAP = 66;
constexpr MMRESULT MIDIERR_NOTREADY = 67;
constexpr MMRESULT MIDIERR_NODEVICE = 68;
constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;
constexpr MMRESULT MIDIERR_BADOPENMODE = 70;
constexpr MMRESULT MIDIERR_LASTERROR = 71;

// Number of output devices; takes a new snapshot of the devices.
UINT midiOutGetNumDevs();
// Fills up to cbmoc bytes of the record for device uDeviceID.
MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, MIDIOUTCAPSA* pmoc, UINT cbmoc);
// Only CALLBACK_NULL is supported; *phmo is null unless the result is MMSYSERR_NOERROR.
MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                     DWORD fdwOpen);
// Status in bits 0-7, data bytes in bits 8-15 and 16-23.
MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg);
// Plays what is still queued, then releases the device.
MMRESULT midiOutClose(HMIDIOUT hmo);
// The text of a result code, cut to cchText - 1 characters and zero-terminated.
MMRESULT midiInGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText);
MMRESULT midiOutGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText);

// Not a Windows procedure: the device's full name as its service shows it (the
// capabilities record holds a shortened one), from the same snapshot.
MMRESULT midiOutGetFullName(UINT_PTR uDeviceID, std::string& Name);

}  // namespace winmm
