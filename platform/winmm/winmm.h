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

// A program may have <windows.h> and <mmsystem.h> in before this header: their
// macros of the same names are kept aside here and given back at the end.
#pragma push_macro("MAXPNAMELEN")
#pragma push_macro("MM_UNMAPPED")
#pragma push_macro("MM_PID_UNMAPPED")
#pragma push_macro("MOD_MIDIPORT")
#pragma push_macro("MIDI_MAPPER")
#pragma push_macro("CALLBACK_NULL")
#pragma push_macro("MMSYSERR_BASE")
#pragma push_macro("MMSYSERR_NOERROR")
#pragma push_macro("MMSYSERR_ERROR")
#pragma push_macro("MMSYSERR_BADDEVICEID")
#pragma push_macro("MMSYSERR_NOTENABLED")
#pragma push_macro("MMSYSERR_ALLOCATED")
#pragma push_macro("MMSYSERR_INVALHANDLE")
#pragma push_macro("MMSYSERR_NODRIVER")
#pragma push_macro("MMSYSERR_NOMEM")
#pragma push_macro("MMSYSERR_NOTSUPPORTED")
#pragma push_macro("MMSYSERR_BADERRNUM")
#pragma push_macro("MMSYSERR_INVALFLAG")
#pragma push_macro("MMSYSERR_INVALPARAM")
#pragma push_macro("MMSYSERR_HANDLEBUSY")
#pragma push_macro("MMSYSERR_INVALIDALIAS")
#pragma push_macro("MMSYSERR_BADDB")
#pragma push_macro("MMSYSERR_KEYNOTFOUND")
#pragma push_macro("MMSYSERR_READERROR")
#pragma push_macro("MMSYSERR_WRITEERROR")
#pragma push_macro("MMSYSERR_DELETEERROR")
#pragma push_macro("MMSYSERR_VALNOTFOUND")
#pragma push_macro("MMSYSERR_NODRIVERCB")
#pragma push_macro("MMSYSERR_MOREDATA")
#pragma push_macro("MMSYSERR_LASTERROR")
#pragma push_macro("MIDIERR_BASE")
#pragma push_macro("MIDIERR_UNPREPARED")
#pragma push_macro("MIDIERR_STILLPLAYING")
#pragma push_macro("MIDIERR_NOMAP")
#pragma push_macro("MIDIERR_NOTREADY")
#pragma push_macro("MIDIERR_NODEVICE")
#pragma push_macro("MIDIERR_INVALIDSETUP")
#pragma push_macro("MIDIERR_BADOPENMODE")
#pragma push_macro("MIDIERR_LASTERROR")
#undef MAXPNAMELEN
#undef MM_UNMAPPED
#undef MM_PID_UNMAPPED
#undef MOD_MIDIPORT
#undef MIDI_MAPPER
#undef CALLBACK_NULL
#undef MMSYSERR_BASE
#undef MMSYSERR_NOERROR
#undef MMSYSERR_ERROR
#undef MMSYSERR_BADDEVICEID
#undef MMSYSERR_NOTENABLED
#undef MMSYSERR_ALLOCATED
#undef MMSYSERR_INVALHANDLE
#undef MMSYSERR_NODRIVER
#undef MMSYSERR_NOMEM
#undef MMSYSERR_NOTSUPPORTED
#undef MMSYSERR_BADERRNUM
#undef MMSYSERR_INVALFLAG
#undef MMSYSERR_INVALPARAM
#undef MMSYSERR_HANDLEBUSY
#undef MMSYSERR_INVALIDALIAS
#undef MMSYSERR_BADDB
#undef MMSYSERR_KEYNOTFOUND
#undef MMSYSERR_READERROR
#undef MMSYSERR_WRITEERROR
#undef MMSYSERR_DELETEERROR
#undef MMSYSERR_VALNOTFOUND
#undef MMSYSERR_NODRIVERCB
#undef MMSYSERR_MOREDATA
#undef MMSYSERR_LASTERROR
#undef MIDIERR_BASE
#undef MIDIERR_UNPREPARED
#undef MIDIERR_STILLPLAYING
#undef MIDIERR_NOMAP
#undef MIDIERR_NOTREADY
#undef MIDIERR_NODEVICE
#undef MIDIERR_INVALIDSETUP
#undef MIDIERR_BADOPENMODE
#undef MIDIERR_LASTERROR

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
// Turns off what the device holds: a note-off for each note played and not
// yet released, then a sustain-off on each channel whose pedal is down, in
// that order (on Windows the driver's own reset). A destination that went
// away gets nothing.
MMRESULT midiOutReset(HMIDIOUT hmo);
// Plays what is still queued, then releases the device.
MMRESULT midiOutClose(HMIDIOUT hmo);
// The text of a result code, cut to cchText - 1 characters and zero-terminated.
MMRESULT midiInGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText);
MMRESULT midiOutGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText);

// Not a Windows procedure: the device's full name as its service shows it (the
// capabilities record holds a shortened one), from the same snapshot.
MMRESULT midiOutGetFullName(UINT_PTR uDeviceID, std::string& Name);

// Not Windows procedures: destinations that come and go while devices are open.
//
// Notify(Data) is called, on a thread of the MIDI service, each time a
// destination may have come or gone; it must only hand over to the program's
// own thread (PostMessageA). A null Notify stops it; once this returns, the
// notification replaced is neither running nor called again. False where the
// platform cannot tell (Windows): the program then looks for itself.
bool midiOutNotifyChanges(void (*Notify)(void* Data), void* Data);
// On the program's thread, typically after a notification: whether the open
// device's destination is there (MMSYSERR_NOERROR) or went away
// (MIDIERR_NODEVICE; its sends fail the same way, and what it held is
// forgotten), connecting again to a destination of the same full name that
// came back. *Losses: how often the destination went away since the open.
// Where the platform cannot tell, always MMSYSERR_NOERROR and 0.
MMRESULT midiOutCheckDestination(HMIDIOUT hmo, DWORD* Losses);

}  // namespace winmm

#pragma pop_macro("MAXPNAMELEN")
#pragma pop_macro("MM_UNMAPPED")
#pragma pop_macro("MM_PID_UNMAPPED")
#pragma pop_macro("MOD_MIDIPORT")
#pragma pop_macro("MIDI_MAPPER")
#pragma pop_macro("CALLBACK_NULL")
#pragma pop_macro("MMSYSERR_BASE")
#pragma pop_macro("MMSYSERR_NOERROR")
#pragma pop_macro("MMSYSERR_ERROR")
#pragma pop_macro("MMSYSERR_BADDEVICEID")
#pragma pop_macro("MMSYSERR_NOTENABLED")
#pragma pop_macro("MMSYSERR_ALLOCATED")
#pragma pop_macro("MMSYSERR_INVALHANDLE")
#pragma pop_macro("MMSYSERR_NODRIVER")
#pragma pop_macro("MMSYSERR_NOMEM")
#pragma pop_macro("MMSYSERR_NOTSUPPORTED")
#pragma pop_macro("MMSYSERR_BADERRNUM")
#pragma pop_macro("MMSYSERR_INVALFLAG")
#pragma pop_macro("MMSYSERR_INVALPARAM")
#pragma pop_macro("MMSYSERR_HANDLEBUSY")
#pragma pop_macro("MMSYSERR_INVALIDALIAS")
#pragma pop_macro("MMSYSERR_BADDB")
#pragma pop_macro("MMSYSERR_KEYNOTFOUND")
#pragma pop_macro("MMSYSERR_READERROR")
#pragma pop_macro("MMSYSERR_WRITEERROR")
#pragma pop_macro("MMSYSERR_DELETEERROR")
#pragma pop_macro("MMSYSERR_VALNOTFOUND")
#pragma pop_macro("MMSYSERR_NODRIVERCB")
#pragma pop_macro("MMSYSERR_MOREDATA")
#pragma pop_macro("MMSYSERR_LASTERROR")
#pragma pop_macro("MIDIERR_BASE")
#pragma pop_macro("MIDIERR_UNPREPARED")
#pragma pop_macro("MIDIERR_STILLPLAYING")
#pragma pop_macro("MIDIERR_NOMAP")
#pragma pop_macro("MIDIERR_NOTREADY")
#pragma pop_macro("MIDIERR_NODEVICE")
#pragma pop_macro("MIDIERR_INVALIDSETUP")
#pragma pop_macro("MIDIERR_BADOPENMODE")
#pragma pop_macro("MIDIERR_LASTERROR")
