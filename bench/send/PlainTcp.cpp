#include "PlainTcp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <vector>

namespace plaintcp {

namespace {
sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}
}  // namespace

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Receiver::Receiver() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Loopback(0);
  socklen_t len = sizeof(a);
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
      ::listen(listenFd_, 4) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("receiver: cannot listen");
  port_ = ntohs(a.sin_port);
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

int Connect(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Loopback(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

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
