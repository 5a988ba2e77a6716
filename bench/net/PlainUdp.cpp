#include "PlainUdp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace plainudp {

namespace {
sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}
}  // namespace

int OpenBound(uint16_t& port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return -1;
  sockaddr_in a = Loopback(port);
  socklen_t len = sizeof(a);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(a.sin_port);
  timeval limit{5, 0};  // a lost datagram must not hang the benchmark
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  return fd;
}

int OpenUnbound() { return ::socket(AF_INET, SOCK_DGRAM, 0); }

bool SendTo(int fd, uint16_t port, const void* data, size_t len) {
  sockaddr_in to = Loopback(port);
  return ::sendto(fd, data, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)) ==
         static_cast<ssize_t>(len);
}

long Receive(int fd, void* buffer, size_t size) { return ::recv(fd, buffer, size, 0); }

void Close(int fd) { ::close(fd); }

}  // namespace plainudp
