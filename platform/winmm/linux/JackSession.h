// One connection to a JACK server: the client, its process callback, and the
// output queues that callback plays.
#pragma once

#include <jack/jack.h>
#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/winmm/linux/MpscRing.h"
#include "platform/winmm/linux/PortEvents.h"

namespace winmm {

// A message as queued for the process callback: when the call handed it over
// (jack_get_time, microseconds, low 32 bits) and the wire bytes.
struct StampedMessage {
  uint32_t StampUs;
  uint8_t Size;
  uint8_t Bytes[3];
};

// One output port of ours and the messages waiting to be played on it.
struct JackOutputQueue {
  // 32768 messages: more than half a second at 50,000 messages a second.
  static constexpr size_t kCapacity = 32768;

  jack_port_t* Port = nullptr;
  MpscRing<StampedMessage> Ring{kCapacity};
  // When the queue was handed to the process callback (jack_get_time, low 32 bits).
  uint32_t AttachedUs = 0;
  // Process-callback side: set once a cycle has run with the port's connection
  // in the graph (or has given up waiting for it).
  bool Live = false;
  // Sending side, after connecting the port anew: Play waits again for the
  // connection, counting from AgainUs.
  std::atomic<bool> Again{false};
  std::atomic<uint32_t> AgainUs{0};
  void WaitForConnectionAgain(uint32_t NowUs) {
    AgainUs.store(NowUs, std::memory_order_relaxed);
    Again.store(true, std::memory_order_release);
  }

  // Process-callback side: writes every message that is due in this cycle,
  // whose callback began at NowUs (jack_get_time, low 32 bits).
  void Play(uint32_t NowUs, jack_nframes_t Frames, jack_nframes_t Rate);
};

class JackSession {
 public:
  static constexpr int kMaxQueues = 64;

  // A client named "vorlanx" on the running server, or null when no server
  // runs; never starts one.
  static std::shared_ptr<JackSession> Connect();
  ~JackSession();

  jack_client_t* Client() const { return FClient; }
  // True once the server has gone away; the client can then do nothing.
  bool Gone() const { return FGone.load(std::memory_order_acquire); }
  // The ports the server said came or went since the session began.
  const PortEvents& Ports() const { return FPorts; }
  // Sending side: true when no cycle has run for so long that the server must
  // be gone, though nobody said so (some servers' clients are never told).
  // The session then counts as gone.
  bool Stalled(uint32_t NowUs);

  // Hands a queue to the process callback; false when all slots are taken.
  bool Attach(JackOutputQueue* Queue);
  // Takes it back; on return the process callback no longer touches it.
  void Detach(JackOutputQueue* Queue);
  // Waits, at most TimeoutMs, until Queue has been played out and one more cycle
  // has cleared its port buffer.
  void Drain(const JackOutputQueue& Queue, int TimeoutMs);
  // At process end: leaves the server the way a closing client does. A client
  // that just vanishes stalls a synchronous server for its whole client
  // timeout (seconds of silence for everyone); afterwards the session is gone.
  void CloseAtExit();

 private:
  JackSession() = default;
  static int Process(jack_nframes_t Frames, void* Arg);
  static void Shutdown(jack_status_t Code, const char* Reason, void* Arg);
  static void PlainShutdown(void* Arg);
  static void PortRegistration(jack_port_id_t Port, int Registered, void* Arg);
  // Blocks until the next cycle ends, the server goes or the deadline passes.
  bool WaitCycle(const struct timespec& Deadline);

  jack_client_t* FClient = nullptr;
  std::atomic<bool> FGone{false};
  // Odd while the process callback runs.
  std::atomic<uint64_t> FCycle{0};
  // When the last cycle began (jack_get_time, low 32 bits).
  std::atomic<uint32_t> FLastCycleUs{0};
  std::atomic<bool> FWaiting{false};
  PortEvents FPorts;
  sem_t FCycleDone;
  std::atomic<JackOutputQueue*> FQueues[kMaxQueues] = {};
};

}  // namespace winmm
