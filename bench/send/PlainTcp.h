// Plain BSD TCP sockets on loopback for the send benchmark (kept apart from the
// socket unit's header, which does not mix with the system socket headers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

namespace plaintcp {

// Accepts one connection on 127.0.0.1 and reads it to the end on its own thread.
class Receiver {
 public:
  Receiver();
  ~Receiver();
  uint16_t Port() const { return port_; }
  // Waits for the end of the stream; returns the bytes read.
  uint64_t Wait();
  // Seconds (steady clock) at which the last byte was read.
  double FinishedAt() const { return finishedAt_; }

 private:
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  uint64_t bytes_ = 0;
  double finishedAt_ = 0;
};

// A blocking connection to 127.0.0.1:port, or -1.
int Connect(uint16_t port);
// Sends total bytes in blocking send calls of chunk bytes each; returns bytes sent.
uint64_t SendAll(int fd, uint64_t total, size_t chunk);
void Close(int fd);
double SteadySeconds();

}  // namespace plaintcp
