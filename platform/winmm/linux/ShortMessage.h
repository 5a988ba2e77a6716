// How a packed short message becomes bytes on the wire, as a Windows MIDI driver
// sends it: as many bytes as the status calls for, running status resolved with
// the device's last status, system exclusive refused.
#pragma once

#include <cstdint>

#include "platform/winmm/winmm.h"

namespace winmm {

struct WireMessage {
  uint8_t size = 0;  // 1, 2 or 3
  uint8_t bytes[3] = {0, 0, 0};
};

// Number of bytes a message with this status byte has, or 0 for a byte that
// cannot start a short message (data bytes, 0xF0, 0xF7).
unsigned ShortMessageLength(uint8_t status);

// Turns dwMsg into wire bytes. RunningStatus is the device's last channel status
// (0 for none); it is updated as a MIDI receiver would track it: channel messages
// set it, system common messages clear it, real-time messages leave it alone.
// Gives MMSYSERR_INVALPARAM for system exclusive and for running status with no
// earlier status.
MMRESULT EncodeShortMessage(DWORD dwMsg, uint8_t& RunningStatus, WireMessage& Out);

}  // namespace winmm
