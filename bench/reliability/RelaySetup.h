// What the relay checks share: the headless relay in a folder of its own, a
// private JACK server with a receiving client, and a plain datagram sender.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <cstdint>
#include <functional>
#include <string>

#include "tests/support/JackServer.h"
#include "tests/support/MidiReceiver.h"
#include "tests/support/Process.h"

namespace reliability {

void SleepMs(int Ms);

// The relay copied into a directory of its own with its settings file, started
// without a display.
struct TRelayRun {
  std::string Dir;
  pid_t Pid = -1;
  uint16_t Port = 0;
  ~TRelayRun();
  bool Start(const std::string& Binary);
  bool Alive() { return FProcess.Running(); }
  // Exit status after SIGTERM, -1 when it did not end within 10 s.
  int Terminate();

 private:
  support::TProcess FProcess;
};

class TSender {
 public:
  explicit TSender(uint16_t Port);
  ~TSender();
  TSender(const TSender&) = delete;
  TSender& operator=(const TSender&) = delete;
  bool Send(const void* Data, size_t Size);
  // Message number Seq as a note-on the receiver can number again.
  bool SendSeq(uint32_t Seq);
  int Fd() const { return FFd; }
  const sockaddr_in& To() const { return FTo; }

 private:
  int FFd;
  sockaddr_in FTo;
};

// Sends Count datagrams at Rate per second on the clock: wakes about every
// 2 ms (sleeping in between), sends all that are due in one system call per
// up to kBatch, then calls After with the number sent so far. Fill(i) gives
// datagram i; what it points to may be reused from datagram i + kBatch on.
// Returns how many the kernel refused.
constexpr long kBatch = 64;
long SendPaced(TSender& Sender, long Count, long Rate, const std::function<iovec(long)>& Fill,
               const std::function<void(long)>& After);

// Message number Seq (18 bits) as three bytes, and back.
void SeqMessage(uint32_t Seq, uint8_t* Bytes);
uint32_t SeqOf(const testjack::TMidiEvent& E);

// The kernel's figures for the relay's socket: bytes queued for it, and
// datagrams dropped because the queue was full.
long Waiting(uint16_t Port, long* Drops = nullptr);

// A JACK server, a receiving client and the relay connected to it.
struct TSetup {
  testjack::TJackServer Server;
  testjack::TMidiReceiver Synth;
  TRelayRun Relay;
  bool Start(const std::string& Binary);
};

}  // namespace reliability
