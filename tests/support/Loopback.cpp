#include "tests/support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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

uint16_t FreeUdpPort() {
  // Any address: a port free there is free on loopback too.
  sockaddr_in any{};
  any.sin_family = AF_INET;
  uint16_t port = 0;
  int fd = Bound(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0), any, &port);
  if (fd >= 0) ::close(fd);
  return port;
}

uint16_t FreeTcpPort() {
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
