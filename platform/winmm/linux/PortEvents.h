// The ports a JACK server said came or went, in the order it said so: written
// by the client's notification thread, read by senders and the program's
// thread, without a lock. A port that went is kept as the client saw it then
// (its handle), because a lookup by name can still find it a while after the
// server said so (a synchronous jackd removes a killed client's ports only
// after seconds of waiting for it).
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>

namespace winmm {

class PortEvents {
 public:
  static constexpr uint32_t kRemembered = 64;

  // The one writer: Port came (Arrived) or went.
  void Add(jack_port_t* Port, bool Arrived) {
    const uint32_t n = FCount.load(std::memory_order_relaxed);
    FPorts[n % kRemembered].store(Port, std::memory_order_relaxed);
    FArrived[n % kRemembered].store(Arrived, std::memory_order_relaxed);
    FCount.store(n + 1, std::memory_order_release);
  }

  // How many were said so far; cheap enough to read for every message.
  uint32_t Count() const { return FCount.load(std::memory_order_acquire); }

  // Of the events numbered From to To - 1: whether Port went (Gone), and
  // whether any port came after the last time it went (or after From, when it
  // did not go). False when they are no longer all remembered.
  bool Look(uint32_t From, uint32_t To, jack_port_t* Port, bool& Gone, bool& Arrival) const {
    Gone = Arrival = false;
    if (To - From > kRemembered) return false;
    for (uint32_t k = From; k != To; ++k) {
      if (FArrived[k % kRemembered].load(std::memory_order_relaxed)) {
        Arrival = true;
      } else if (FPorts[k % kRemembered].load(std::memory_order_relaxed) == Port) {
        Gone = true;
        Arrival = false;
      }
    }
    // The writer may have gone round meanwhile and overwritten what was read.
    return Count() - From <= kRemembered;
  }

 private:
  std::atomic<uint32_t> FCount{0};
  std::atomic<jack_port_t*> FPorts[kRemembered] = {};
  std::atomic<bool> FArrived[kRemembered] = {};
};

}  // namespace winmm
