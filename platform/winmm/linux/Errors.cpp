// Texts of the multimedia result codes, worded as the platform words them.
#include <cstring>

#include "platform/winmm/winmm.h"

namespace winmm {
namespace {

struct ErrorText {
  MMRESULT code;
  const char* text;
};

const ErrorText kTexts[] = {
    {MMSYSERR_NOERROR, "The specified command was carried out."},
    {MMSYSERR_ERROR, "Undefined external error."},
    {MMSYSERR_BADDEVICEID, "A device ID has been used that is out of range for your system."},
    {MMSYSERR_NOTENABLED, "The driver was not enabled."},
    {MMSYSERR_ALLOCATED,
     "The specified device is already in use.  Wait until it is free, and then try again."},
    {MMSYSERR_INVALHANDLE, "The specified device handle is invalid."},
    {MMSYSERR_NODRIVER,
     "The MIDI driver is not available.  Make sure the sound server is running, and then try "
     "again."},
    {MMSYSERR_NOMEM,
     "There is not enough memory available for this task.  Quit one or more applications, and then "
     "try again."},
    {MMSYSERR_NOTSUPPORTED,
     "This function is not supported.  Use the Capabilities function to determine which functions "
     "the driver supports."},
    {MMSYSERR_BADERRNUM, "An error number was specified that is not defined in the system."},
    {MMSYSERR_INVALFLAG, "An invalid flag was passed to a system function."},
    {MMSYSERR_INVALPARAM, "An invalid parameter was passed to a system function."},
    {MMSYSERR_HANDLEBUSY,
     "The specified handle is being used by another thread.  Wait until it is free, and then try "
     "again."},
    {MMSYSERR_INVALIDALIAS, "The specified alias was not found."},
    {MMSYSERR_BADDB, "The device configuration database is damaged."},
    {MMSYSERR_KEYNOTFOUND, "The specified configuration key was not found."},
    {MMSYSERR_READERROR, "The device configuration could not be read."},
    {MMSYSERR_WRITEERROR, "The device configuration could not be written."},
    {MMSYSERR_DELETEERROR, "The device configuration could not be deleted."},
    {MMSYSERR_VALNOTFOUND, "The specified configuration value was not found."},
    {MMSYSERR_NODRIVERCB, "The driver did not generate a valid callback."},
    {MMSYSERR_MOREDATA, "More data is available than fits in the buffer."},
    {MIDIERR_UNPREPARED,
     "The header is not prepared.  Use the Prepare function to prepare the header, and then try "
     "again."},
    {MIDIERR_STILLPLAYING,
     "This operation cannot be performed while data is still playing.  Reset the device, or wait "
     "until it is finished."},
    {MIDIERR_NOMAP, "A MIDI map was not found.  There may be a problem with the driver setup."},
    {MIDIERR_NOTREADY,
     "The port is transmitting data to the device.  Wait until the data has been transmitted, and "
     "then try again."},
    {MIDIERR_NODEVICE,
     "The MIDI device was not found.  It may have been removed or renamed; choose another device."},
    {MIDIERR_INVALIDSETUP, "The current MIDI setup is damaged.  Choose the MIDI device again."},
    {MIDIERR_BADOPENMODE, "This operation is not supported in the mode the device was opened in."},
};

}  // namespace

MMRESULT midiInGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText) {
  if (pszText == nullptr || cchText == 0) return MMSYSERR_INVALPARAM;
  for (const ErrorText& e : kTexts) {
    if (e.code != mmrError) continue;
    size_t n = std::strlen(e.text);
    if (n > cchText - 1) n = cchText - 1;
    std::memcpy(pszText, e.text, n);
    pszText[n] = '\0';
    return MMSYSERR_NOERROR;
  }
  return MMSYSERR_BADERRNUM;
}

MMRESULT midiOutGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText) {
  return midiInGetErrorTextA(mmrError, pszText, cchText);
}

}  // namespace winmm
