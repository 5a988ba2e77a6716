#include "PlainTcp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <vector>

#include "tests/support/Loopback.h"

namespace plaintcp {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Receiver::Receiver() {
  listenFd_ = loopback::ListenTcp(4, &port_);
  if (listenFd_ < 0) throw std::runtime_error("receiver: cannot listen");
  thread_ = std::thread([this] {
    int fd = ::accept(listenFd_, nullptr, nullptr);
    std::vector<char> buffer(256 * 1024);
    for (;;) {
      ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      bytes_ += static_cast<uint64_t>(n);
    }
    finishedAt_ = SteadySeconds();
    ::close(fd);
  });
}

Receiver::~Receiver() {
  if (thread_.joinable()) thread_.join();
  ::close(listenFd_);
}

uint64_t Receiver::Wait() {
  if (thread_.joinable()) thread_.join();
  return bytes_;
}

int Connect(uint16_t port) { return loopback::ConnectTcp(port); }

uint64_t SendAll(int fd, uint64_t total, size_t chunk) {
  std::vector<char> data(chunk, 'p');
  uint64_t sent = 0;
  while (sent < total) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(chunk, total - sent));
    ssize_t r = ::send(fd, data.data(), n, MSG_NOSIGNAL);
    if (r <= 0) break;
    sent += static_cast<uint64_t>(r);
  }
  return sent;
}

void Close(int fd) {
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

}  // namespace plaintcp
