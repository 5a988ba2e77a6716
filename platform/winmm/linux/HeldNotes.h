// What an open device holds down at its destination: the notes played and not
// yet released, per channel and key, and the sustain pedal per channel. A
// device closed with notes held would leave them sounding for ever, so reset
// releases exactly these. Fixed size; each message costs a few bit operations,
// atomic because senders on several threads may share a device.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/winmm/linux/ShortMessage.h"

namespace winmm {

class HeldNotes {
 public:
  // A message the destination was handed.
  void Note(const WireMessage& Message) {
    const uint8_t status = Message.bytes[0];
    const unsigned kind = status & 0xF0u, channel = status & 0x0Fu;
    if (kind == 0x80 || kind == 0x90) {
      const unsigned key = Message.bytes[1] & 0x7Fu;
      std::atomic<uint64_t>& word = FKeys[channel * 2 + key / 64];
      const uint64_t bit = uint64_t{1} << (key % 64);
      // A note-on of velocity 0 is a note-off.
      if (kind == 0x90 && Message.bytes[2] != 0)
        word.fetch_or(bit, std::memory_order_relaxed);
      else
        word.fetch_and(~bit, std::memory_order_relaxed);
    } else if (kind == 0xB0 && Message.bytes[1] == kSustain) {
      const auto bit = static_cast<uint16_t>(1u << channel);
      if (Message.bytes[2] >= 64)
        FPedals.fetch_or(bit, std::memory_order_relaxed);
      else
        FPedals.fetch_and(static_cast<uint16_t>(~bit), std::memory_order_relaxed);
    }
  }

  // Hands Send a note-off for each held note, channel by channel, then a
  // sustain-off for each channel whose pedal is down; the device then holds
  // nothing.
  template <class TSend>
  void Release(TSend&& Send) {
    for (unsigned channel = 0; channel < 16; ++channel)
      for (unsigned half = 0; half < 2; ++half)
        for (uint64_t keys = FKeys[channel * 2 + half].exchange(0); keys != 0; keys &= keys - 1) {
          const auto key = static_cast<uint8_t>(half * 64 + __builtin_ctzll(keys));
          Send(Message(0x80 | channel, key, kReleaseVelocity));
        }
    const unsigned pedals = FPedals.exchange(0);
    for (unsigned channel = 0; channel < 16; ++channel)
      if (pedals & (1u << channel)) Send(Message(0xB0 | channel, kSustain, 0));
  }

  // The destination went away: what it held went with it.
  void Forget() {
    for (auto& word : FKeys) word.store(0, std::memory_order_relaxed);
    FPedals.store(0, std::memory_order_relaxed);
  }

 private:
  static constexpr uint8_t kSustain = 64;
  // What a keyboard without release velocity sends.
  static constexpr uint8_t kReleaseVelocity = 64;

  static WireMessage Message(unsigned Status, uint8_t Data1, uint8_t Data2) {
    WireMessage m;
    m.size = 3;
    m.bytes[0] = static_cast<uint8_t>(Status);
    m.bytes[1] = Data1;
    m.bytes[2] = Data2;
    return m;
  }

  std::atomic<uint64_t> FKeys[16 * 2] = {};  // 128 keys per channel
  std::atomic<uint16_t> FPedals{0};
};

}  // namespace winmm
