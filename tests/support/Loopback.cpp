#include "tests/support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace loopback {

namespace {

uint16_t PortOf(int fd, bool peer) {
  sockaddr_in a{};
  socklen_t len = sizeof(a);
  int r = peer ? getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len)
               : getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return r == 0 ? ntohs(a.sin_port) : 0;
}

// Binds fd to a, stores the port it got; closes fd and returns -1 on failure.
int Bound(int fd, sockaddr_in a, uint16_t* port) {
  if (fd < 0) return -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    ::close(fd);
    return -1;
  }
  *port = LocalPort(fd);
  return fd;
}

}  // namespace

sockaddr_in Address(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

uint16_t LocalPort(int fd) { return PortOf(fd, false); }
uint16_t PeerPort(int fd) { return PortOf(fd, true); }

int BindUdp(uint16_t* port) {
  return Bound(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0), Address(*port), port);
}

int ListenTcp(int backlog, uint16_t* port, int rcvbuf) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && rcvbuf > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof(rcvbuf));
  *port = 0;
  fd = Bound(fd, Address(0), port);
  if (fd >= 0 && ::listen(fd, backlog) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int ConnectTcp(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Address(port);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  return fd;
}

bool SendUdp(int fd, uint16_t port, const void* data, size_t len) {
  sockaddr_in to = Address(port);
  return ::sendto(fd, data, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)) ==
         static_cast<ssize_t>(len);
}

void SendUdp(uint16_t port, const std::string& bytes) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  bool sent = SendUdp(fd, port, bytes.data(), bytes.size());
  ::close(fd);
  if (!sent) throw std::runtime_error("sendto");
}

namespace {

// Binds a socket of this type to port (0: one the system picks) on any
// address, and closes it: the port it got, 0 when it could not bind. A port
// free on any address is free on loopback too.
uint16_t BindAnyAndClose(int type, uint16_t port) {
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(port);
  uint16_t got = 0;
  const int fd = Bound(::socket(AF_INET, type | SOCK_CLOEXEC, 0), any, &got);
  if (fd < 0) return 0;
  ::close(fd);
  return got;
}

// The next port of the stage's reserved range that can be bound, from the
// counter file every test of the stage shares (taken under its lock, so no
// two tests get the same port); 0 without one.
uint16_t ReservedPort(int type) {
  const char* path = std::getenv(kReservedPortsVariable);
  if (!path || !*path) return 0;
  const int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  uint16_t port = 0;
  if (::flock(fd, LOCK_EX) == 0) {
    // The count in decimal: the shell scripts' tests take from it too.
    char text[16] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    unsigned long next = got > 0 ? std::strtoul(text, nullptr, 10) : 0;
    for (uint32_t tries = 0; tries < kReservedPortCount && port == 0; ++tries, ++next) {
      const auto candidate = static_cast<uint16_t>(kFirstReservedPort + next % kReservedPortCount);
      if (BindAnyAndClose(type, candidate) != 0) port = candidate;
    }
    const int length = std::snprintf(text, sizeof text, "%lu\n", next);
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text, static_cast<size_t>(length), 0) != length)
      port = 0;
  }
  ::close(fd);  // and with it the lock
  return port;
}

}  // namespace

uint16_t FreeUdpPort() {
  if (uint16_t port = ReservedPort(SOCK_DGRAM)) return port;
  return BindAnyAndClose(SOCK_DGRAM, 0);
}

uint16_t FreeTcpPort() {
  if (uint16_t port = ReservedPort(SOCK_STREAM)) return port;
  uint16_t port = 0;
  Close(BindTcp(&port));
  return port;
}

int BindTcp(uint16_t* port) {
  *port = 0;
  return Bound(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), Address(0), port);
}

int StartConnect(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in a = Address(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 &&
      errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int Accept(int listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

void Close(int fd) {
  if (fd >= 0) ::close(fd);
}

unsigned Wait(int fd, unsigned what, int timeoutMs) {
  pollfd p{fd, static_cast<short>(((what & kReadable) ? POLLIN : 0) |
                                  ((what & kWritable) ? POLLOUT : 0)),
           0};
  if (::poll(&p, 1, timeoutMs) <= 0) return 0;
  return ((p.revents & POLLIN) ? kReadable : 0) | ((p.revents & POLLOUT) ? kWritable : 0) |
         ((p.revents & (POLLERR | POLLHUP)) ? kBroken : 0);
}

long Send(int fd, const void* data, size_t len) {
  ssize_t n;
  do n = ::send(fd, data, len, MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  return n;
}

long Receive(int fd, void* buf, size_t len) {
  ssize_t n;
  do n = ::recv(fd, buf, len, 0);
  while (n < 0 && errno == EINTR);
  return n;
}

size_t Available(int fd) {
  int n = 0;
  return ioctl(fd, FIONREAD, &n) == 0 && n > 0 ? static_cast<size_t>(n) : 0;
}

void ShutdownWrite(int fd) { ::shutdown(fd, SHUT_WR); }

void SetReceiveBuffer(int fd, int bytes) {
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes));
}

void Reset(int fd) {
  linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
  Close(fd);
}

UdpHolder::UdpHolder() {
  fd_ = BindUdp(&port_);
  if (fd_ < 0) throw std::runtime_error("bind");
}

UdpHolder::~UdpHolder() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace loopback
