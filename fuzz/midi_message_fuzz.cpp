// The short-message rule on arbitrary sequences of packed messages: status
// byte to length, running status carried as a receiver tracks it, system
// exclusive and running status without a status refused, data bytes as given.
#include <cstdint>
#include <cstring>

#include "fuzz/FuzzSupport.h"
#include "platform/winmm/linux/ShortMessage.h"

namespace {

unsigned Length(uint8_t Status) {
  if (Status < 0x80 || Status == 0xF0 || Status == 0xF7) return 0;
  if (Status >= 0xC0 && Status <= 0xDF) return 2;
  if (Status < 0xF0 || Status == 0xF2) return 3;
  if (Status == 0xF1 || Status == 0xF3) return 2;
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  uint8_t running = 0, expected = 0;
  for (size_t at = 0; at + 4 <= Size; at += 4) {
    winmm::DWORD msg;
    std::memcpy(&msg, Data + at, 4);
    const uint8_t b0 = Data[at], b1 = Data[at + 1], b2 = Data[at + 2];
    fuzz::Check(winmm::ShortMessageLength(b0) == Length(b0), "length differs");
    winmm::WireMessage out;
    winmm::MMRESULT r = winmm::EncodeShortMessage(msg, running, out);
    if (b0 < 0x80) {
      fuzz::Check((r != winmm::MMSYSERR_NOERROR) == (expected == 0), "running status accepted");
      if (expected == 0) continue;
      fuzz::Check(out.size == Length(expected) && out.bytes[0] == expected &&
                      (out.size < 2 || out.bytes[1] == b0) && (out.size < 3 || out.bytes[2] == b1),
                  "running status message differs");
    } else if (Length(b0) == 0) {
      fuzz::Check(r == winmm::MMSYSERR_INVALPARAM, "system exclusive accepted");
    } else {
      fuzz::Check(r == winmm::MMSYSERR_NOERROR && out.size == Length(b0) && out.bytes[0] == b0 &&
                      (out.size < 2 || out.bytes[1] == b1) && (out.size < 3 || out.bytes[2] == b2),
                  "message differs");
      if (b0 < 0xF0)
        expected = b0;  // channel messages set it
      else if (b0 < 0xF8)
        expected = 0;  // system common clears it; real-time leaves it
    }
    fuzz::Check(running == expected, "running status tracked wrongly");
  }
  return 0;
}
