// A sequence number carried in a three-byte note-on: the two data bytes hold
// 14 bits, the status byte's channel 4 more. The status's high nibble tells
// two consecutive phases apart (note-on or note-off), so a straggler of the
// previous phase is never counted in the next.
#pragma once

#include <cstdint>

namespace relaybench {

constexpr uint32_t kSeqBits = 18;
constexpr uint32_t kSeqCapacity = 1u << kSeqBits;

struct TSeqMessage {
  uint8_t Bytes[3];
};

inline TSeqMessage EncodeSeq(uint32_t Seq, int Parity) {
  const uint8_t kind = Parity ? 0x80 : 0x90;
  return {{static_cast<uint8_t>(kind | ((Seq >> 14) & 0x0F)), static_cast<uint8_t>(Seq & 0x7F),
           static_cast<uint8_t>((Seq >> 7) & 0x7F)}};
}

// False for bytes that no EncodeSeq produced.
inline bool DecodeSeq(const uint8_t* Bytes, uint32_t& Seq, int& Parity) {
  const uint8_t kind = Bytes[0] & 0xF0;
  if ((kind != 0x80 && kind != 0x90) || (Bytes[1] & 0x80) || (Bytes[2] & 0x80)) return false;
  Parity = kind == 0x80 ? 1 : 0;
  Seq = (static_cast<uint32_t>(Bytes[0] & 0x0F) << 14) | (static_cast<uint32_t>(Bytes[2]) << 7) |
        Bytes[1];
  return true;
}

}  // namespace relaybench
