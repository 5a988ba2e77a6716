// The sending end: three-byte messages carrying sequence numbers, to a unicast
// address or, through the loopback interface, to a multicast group; each send
// time is recorded on CLOCK_MONOTONIC just before the datagram leaves.
#pragma once

#include <cstdint>
#include <string>

namespace relaybench {

struct TSendResult {
  uint32_t Sent = 0;
  uint32_t Failed = 0;  // sendto refused even after retries; their send time stays 0
  double Seconds = 0;   // first to last send
};

class TSender {
 public:
  TSender() = default;
  TSender(const TSender&) = delete;
  TSender& operator=(const TSender&) = delete;
  ~TSender() { Close(); }

  // Address must be loopback (unicast) or a multicast group, sent through 127.0.0.1.
  bool Open(const std::string& Address, uint16_t Port, std::string* Error);
  void Close();

  // Count messages numbered 0..Count-1, Rate per second (0: as fast as possible).
  TSendResult Send(uint32_t Count, double Rate, int Parity, int64_t* SendNs);

 private:
  bool SendOne(uint32_t Seq, int Parity, int64_t& SendNs);

  int FFd = -1;
  uint8_t FTo[16] = {};  // sockaddr_in
};

}  // namespace relaybench
