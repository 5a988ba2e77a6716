#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace loopback {

namespace {
sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}
}  // namespace

void SendUdp(uint16_t port, const std::string& bytes) {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in to = Loopback(port);
  ssize_t n =
      ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
  ::close(fd);
  if (n != static_cast<ssize_t>(bytes.size())) throw std::runtime_error("sendto");
}

UdpHolder::UdpHolder() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = Loopback(0);
  socklen_t len = sizeof(a);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("bind");
  port_ = ntohs(a.sin_port);
}

UdpHolder::~UdpHolder() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace loopback
