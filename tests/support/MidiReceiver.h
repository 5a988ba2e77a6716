// A JACK client with MIDI input ports that records what arrives, for tests and
// benchmarks that check what the MIDI output layer plays.
#pragma once

#include <jack/jack.h>
#include <semaphore.h>

#include <atomic>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/JackFence.h"

namespace testjack {

struct TMidiEvent {
  int Port = 0;                // index into the names given to Open
  jack_nframes_t Frame = 0;    // frame time at which the event plays
  jack_nframes_t Offset = 0;   // its position in the cycle
  jack_time_t CycleUsecs = 0;  // jack_get_time() when the receiving cycle ran
  uint32_t Size = 0;           // full size; Bytes holds the first 4
  uint8_t Bytes[4] = {0, 0, 0, 0};

  std::vector<uint8_t> Data() const {
    return std::vector<uint8_t>(Bytes, Bytes + (Size < 4 ? Size : 4));
  }
};

// Events from JACK's thread to the test's: one writer, one reader, no lock,
// so the process callback never waits (and the thread checker sees the order).
class TEventRing {
 public:
  explicit TEventRing(size_t Capacity) : FItems(Capacity) {}
  bool Push(const TMidiEvent& Event) {
    size_t tail = FTail.load(std::memory_order_relaxed);
    if (tail - FHead.load(std::memory_order_acquire) >= FItems.size()) return false;
    FItems[tail % FItems.size()] = Event;
    FTail.store(tail + 1, std::memory_order_release);
    return true;
  }
  bool Pop(TMidiEvent& Event) {
    size_t head = FHead.load(std::memory_order_relaxed);
    if (head == FTail.load(std::memory_order_acquire)) return false;
    Event = FItems[head % FItems.size()];
    FHead.store(head + 1, std::memory_order_release);
    return true;
  }

 private:
  std::vector<TMidiEvent> FItems;
  std::atomic<size_t> FHead{0}, FTail{0};
};

class TMidiReceiver {
 public:
  TMidiReceiver() = default;
  TMidiReceiver(const TMidiReceiver&) = delete;
  TMidiReceiver& operator=(const TMidiReceiver&) = delete;
  ~TMidiReceiver() { Close(); }

  // A client named ClientName on the default server (JACK_DEFAULT_SERVER), with
  // one MIDI input port per name, registered in that order.
  bool Open(const std::string& ClientName, const std::vector<std::string>& PortNames,
            std::string* Error = nullptr);
  void Close();

  jack_client_t* Client() const { return FClient; }
  // "client:port" of input Index.
  std::string PortName(int Index) const;
  // Full names of the ports connected to input Index.
  std::vector<std::string> Connections(int Index) const;
  // Waits until input Index has Count connections: this client learns of a
  // connection another client made a moment after that client's call returned.
  bool WaitConnections(int Index, size_t Count, int TimeoutMs = 10000) const;

  // Takes events off the queue until Count have been taken or TimeoutMs passed.
  std::vector<TMidiEvent> Wait(size_t Count, int TimeoutMs);
  // Everything that arrives within the suite's settle time (tests/support/Settle.h),
  // after what was waited for: for checking that nothing more comes.
  std::vector<TMidiEvent> Settle();
  // Events the queue had no room for (should stay 0).
  unsigned Overflows() const { return FOverflows.load(); }

 private:
  static int Process(jack_nframes_t Frames, void* Arg);
  bool TakeOne(TMidiEvent& Event);

  jack_client_t* FClient = nullptr;
  TJackFence FFence;
  std::vector<jack_port_t*> FPorts;
  std::unique_ptr<TEventRing> FRing;
  sem_t FArrived;
  std::atomic<unsigned> FOverflows{0};
};

}  // namespace testjack
