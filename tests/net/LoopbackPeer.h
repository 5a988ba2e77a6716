// A plain BSD-socket peer on loopback for the socket tests. Kept in its own
// file: the socket unit's header and the system socket headers do not mix.
#pragma once

#include <cstdint>
#include <string>

namespace loopback {

// Sends one UDP datagram to 127.0.0.1:port from a throw-away socket.
void SendUdp(uint16_t port, const std::string& bytes);

// A UDP socket bound to 127.0.0.1 on a port the system picks; closed on destruction.
class UdpHolder {
 public:
  UdpHolder();
  ~UdpHolder();
  UdpHolder(const UdpHolder&) = delete;
  UdpHolder& operator=(const UdpHolder&) = delete;
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace loopback
