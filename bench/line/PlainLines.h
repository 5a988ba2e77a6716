// Plain BSD TCP sockets on loopback for the line benchmark: the sending peer,
// and the plain receiving loop the component is measured against (kept apart
// from the socket unit's header, which does not mix with the system headers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

namespace plainlines {

// Accepts one connection on 127.0.0.1 on its own thread, waits for one byte
// from the receiver (its clock has started), sends Total bytes of lines of
// LineLength bytes each (CR LF included), then closes.
class Sender {
 public:
  Sender(uint64_t Total, size_t LineLength);
  ~Sender();
  uint16_t Port() const { return port_; }

 private:
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

struct Count {
  uint64_t lines = 0;
  uint64_t bytes = 0;
  uint64_t check = 0;  // sum of every line's first byte: the lines were looked at
  double seconds = 0;
};

// What a user writes without the component: a blocking recv loop that splits
// on CR LF with memchr and hands each line to a callback by pointer and length.
Count ReadPlain(uint16_t Port);

double SteadySeconds();

}  // namespace plainlines
