#include "PlainUdp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "tests/support/Loopback.h"

namespace plainudp {

int OpenBound(uint16_t& port) {
  int fd = loopback::BindUdp(&port);
  if (fd < 0) return -1;
  timeval limit{5, 0};  // a lost datagram must not hang the benchmark
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  return fd;
}

int OpenUnbound() { return ::socket(AF_INET, SOCK_DGRAM, 0); }

bool SendTo(int fd, uint16_t port, const void* data, size_t len) {
  return loopback::SendUdp(fd, port, data, len);
}

long Receive(int fd, void* buffer, size_t size) { return ::recv(fd, buffer, size, 0); }

void Close(int fd) { ::close(fd); }

}  // namespace plainudp
