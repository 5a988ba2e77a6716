// What the relay did with the datagrams it received, for a service manager's
// status and the report a signal asks for. Plain integers of the loop's
// thread: counting costs a few increments per datagram and nothing else.
#pragma once

#include <cstdint>
#include <string>

struct TRelayCounts {
  uint64_t Received = 0;
  uint64_t Played = 0;
  uint64_t DroppedForLength = 0;  // not three bytes
  uint64_t DroppedForFE = 0;      // Active Sensing
  uint64_t DroppedNoOutput = 0;   // no output could be reached
  // The last sender as it came off the socket, network order (formatted only
  // when the counts are written).
  uint32_t SenderAddr = 0;
  uint16_t SenderPort = 0;

  // "received 5, played 3, dropped 2 (1 for their length, 1 for 0xFE, 0 with
  // no output), last from 127.0.0.1:40000"; nothing of a sender before the first.
  std::string Text() const;
};
