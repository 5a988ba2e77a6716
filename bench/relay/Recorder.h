// The receiving end of the benchmark: a JACK client with one MIDI input port
// that records, for each sequence number, when its event became visible: the
// start of the process callback that saw it plus the event's frame offset, on
// CLOCK_MONOTONIC. The callback takes no lock and allocates nothing: it writes
// into arrays made before the client is activated.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "SeqCodec.h"
#include "tests/support/JackFence.h"

namespace relaybench {

// What one phase recorded; read only after Disarm.
struct TCapture {
  std::unique_ptr<int64_t[]> VisibleNs;  // 0: not received
  std::unique_ptr<uint16_t[]> Copies;    // how often each number arrived
  std::atomic<uint32_t> Received{0};     // distinct numbers
  std::atomic<uint32_t> Reordered{0};    // arrived after a higher number
  std::atomic<uint32_t> Duplicates{0};
  std::atomic<uint32_t> MaxPerCycle{0};  // most events of this phase in one cycle
  std::atomic<uint32_t> MaxSeq{0};
  std::atomic<bool> Any{false};
};

class TRecorder {
 public:
  TRecorder();
  TRecorder(const TRecorder&) = delete;
  TRecorder& operator=(const TRecorder&) = delete;
  ~TRecorder() { Close(); }

  // A client on the default server (JACK_DEFAULT_SERVER) with one MIDI input "in".
  bool Open(const std::string& ClientName, std::string* Error);
  void Close();

  jack_client_t* Client() const { return FClient; }
  std::string PortName() const;
  uint32_t Rate() const { return FRate; }
  // Number of output ports connected to ours.
  int Connections() const;

  // Clears the capture of Parity and starts counting events of that parity.
  void Arm(int Parity);
  // Stops counting and waits (at most 1 s) until no callback still writes.
  void Disarm();
  const TCapture& Capture(int Parity) const { return FCaptures[Parity & 1]; }
  uint32_t Received(int Parity) const {
    return FCaptures[Parity & 1].Received.load(std::memory_order_acquire);
  }

  // Events that belonged to no armed phase, and events that no sender produced.
  uint32_t Stale() const { return FStale.load(); }
  uint32_t Foreign() const { return FForeign.load(); }

 private:
  static int Process(jack_nframes_t Frames, void* Arg);

  jack_client_t* FClient = nullptr;
  testjack::TJackFence FFence;  // relays that ended may still be leaving
  jack_port_t* FPort = nullptr;
  uint32_t FRate = 48000;
  TCapture FCaptures[2];
  std::atomic<int> FArmed{-1};
  std::atomic<uint64_t> FCycles{0};  // odd while a callback runs
  std::atomic<uint32_t> FStale{0};
  std::atomic<uint32_t> FForeign{0};
};

}  // namespace relaybench
