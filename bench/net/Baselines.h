// What a programmer would pick instead of the component for receiving
// datagrams, each as a receiver on 127.0.0.1 that the drain benchmark feeds:
// libuv and asio (when their development files were there at build time).
#pragma once

#include <cstdint>
#include <memory>

namespace baselines {

class Receiver {
 public:
  virtual ~Receiver() = default;
  virtual uint16_t Port() const = 0;
  // Runs the library's loop until k three-byte datagrams were delivered or
  // a few seconds passed; returns how many were.
  virtual long Drain(long k) = 0;
};

// Null when the library was not built in.
std::unique_ptr<Receiver> MakeLibuvReceiver();
std::unique_ptr<Receiver> MakeAsioReceiver();

}  // namespace baselines
