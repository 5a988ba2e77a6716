#include "platform/winmm/linux/ShortMessage.h"

namespace winmm {

unsigned ShortMessageLength(uint8_t status) {
  if (status < 0x80) return 0;
  if (status < 0xC0) return 3;  // note off/on, poly pressure, control change
  if (status < 0xE0) return 2;  // program change, channel pressure
  if (status < 0xF0) return 3;  // pitch bend
  switch (status) {
    case 0xF0:
    case 0xF7:
      return 0;  // system exclusive travels as a long message
    case 0xF1:
    case 0xF3:
      return 2;  // time code quarter frame, song select
    case 0xF2:
      return 3;  // song position
    default:
      return 1;  // tune request, undefined system common, real-time
  }
}

MMRESULT EncodeShortMessage(DWORD dwMsg, uint8_t& RunningStatus, WireMessage& Out) {
  uint8_t b0 = static_cast<uint8_t>(dwMsg);
  uint8_t b1 = static_cast<uint8_t>(dwMsg >> 8);
  uint8_t b2 = static_cast<uint8_t>(dwMsg >> 16);
  if (b0 < 0x80) {
    // Running status: the first byte is already data, so the data bytes shift up.
    if (RunningStatus == 0) return MMSYSERR_INVALPARAM;
    Out.bytes[0] = RunningStatus;
    Out.bytes[1] = b0;
    Out.bytes[2] = b1;
    Out.size = static_cast<uint8_t>(ShortMessageLength(RunningStatus));
    return MMSYSERR_NOERROR;
  }
  unsigned size = ShortMessageLength(b0);
  if (size == 0) return MMSYSERR_INVALPARAM;
  Out.bytes[0] = b0;
  Out.bytes[1] = b1;
  Out.bytes[2] = b2;
  Out.size = static_cast<uint8_t>(size);
  if (b0 < 0xF0)
    RunningStatus = b0;
  else if (b0 < 0xF8)
    RunningStatus = 0;
  return MMSYSERR_NOERROR;
}

}  // namespace winmm
