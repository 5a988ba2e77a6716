// The loopback peers on Winsock 2 (ws2_32), inside the test program beside the
// component's own Winsock 1.1. A SOCKET is kept in an int (-1: none).
#include "tests/support/Loopback.h"

#include <winsock2.h>

#include <stdexcept>

namespace loopback {

namespace {

// Winsock 2 started once for the test program, left started until it ends.
void Start() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw std::runtime_error("WSAStartup");
}

SOCKET S(int fd) { return static_cast<SOCKET>(static_cast<unsigned>(fd)); }

int Fd(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

SOCKET NewSocket(int type) {
  Start();
  SOCKET s = ::socket(AF_INET, type, 0);
  if (s != INVALID_SOCKET) SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return s;
}

uint16_t PortOf(int fd, bool peer) {
  sockaddr_in a{};
  int len = sizeof(a);
  int r = peer ? getpeername(S(fd), reinterpret_cast<sockaddr*>(&a), &len)
               : getsockname(S(fd), reinterpret_cast<sockaddr*>(&a), &len);
  return r == 0 ? ntohs(a.sin_port) : 0;
}

// Binds s to a, stores the port it got; closes s and returns -1 on failure.
int Bound(SOCKET s, sockaddr_in a, uint16_t* port) {
  if (s == INVALID_SOCKET) return -1;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    closesocket(s);
    return -1;
  }
  *port = LocalPort(Fd(s));
  return Fd(s);
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

int BindUdp(uint16_t* port) { return Bound(NewSocket(SOCK_DGRAM), Address(*port), port); }

int ListenTcp(int backlog, uint16_t* port, int rcvbuf) {
  SOCKET s = NewSocket(SOCK_STREAM);
  if (s != INVALID_SOCKET && rcvbuf > 0)
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&rcvbuf), sizeof(rcvbuf));
  *port = 0;
  int fd = Bound(s, Address(0), port);
  if (fd >= 0 && ::listen(S(fd), backlog) != 0) {
    closesocket(S(fd));
    return -1;
  }
  return fd;
}

int ConnectTcp(uint16_t port) {
  SOCKET s = NewSocket(SOCK_STREAM);
  sockaddr_in a = Address(port);
  if (s == INVALID_SOCKET || ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return -1;
  }
  return Fd(s);
}

bool SendUdp(int fd, uint16_t port, const void* data, size_t len) {
  sockaddr_in to = Address(port);
  return ::sendto(S(fd), static_cast<const char*>(data), static_cast<int>(len), 0,
                  reinterpret_cast<sockaddr*>(&to), sizeof(to)) == static_cast<int>(len);
}

void SendUdp(uint16_t port, const std::string& bytes) {
  SOCKET s = NewSocket(SOCK_DGRAM);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket");
  bool sent = SendUdp(Fd(s), port, bytes.data(), bytes.size());
  closesocket(s);
  if (!sent) throw std::runtime_error("sendto");
}

uint16_t FreeUdpPort() {
  sockaddr_in any{};
  any.sin_family = AF_INET;
  uint16_t port = 0;
  int fd = Bound(NewSocket(SOCK_DGRAM), any, &port);
  if (fd >= 0) closesocket(S(fd));
  return port;
}

int BindTcp(uint16_t* port) {
  *port = 0;
  return Bound(NewSocket(SOCK_STREAM), Address(0), port);
}

uint16_t FreeTcpPort() {
  uint16_t port = 0;
  Close(BindTcp(&port));
  return port;
}

int StartConnect(uint16_t port) {
  SOCKET s = NewSocket(SOCK_STREAM);
  if (s == INVALID_SOCKET) return -1;
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  sockaddr_in a = Address(port);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    closesocket(s);
    return -1;
  }
  return Fd(s);
}

int Accept(int listener) { return Fd(::accept(S(listener), nullptr, nullptr)); }

void Close(int fd) {
  if (fd >= 0) closesocket(S(fd));
}

unsigned Wait(int fd, unsigned what, int timeoutMs) {
  WSAPOLLFD p{};
  p.fd = S(fd);
  p.events = static_cast<short>(((what & kReadable) ? POLLRDNORM : 0) |
                                ((what & kWritable) ? POLLWRNORM : 0));
  if (WSAPoll(&p, 1, timeoutMs) <= 0) return 0;
  return ((p.revents & POLLRDNORM) ? kReadable : 0) | ((p.revents & POLLWRNORM) ? kWritable : 0) |
         ((p.revents & (POLLERR | POLLHUP)) ? kBroken : 0);
}

long Send(int fd, const void* data, size_t len) {
  return ::send(S(fd), static_cast<const char*>(data), static_cast<int>(len), 0);
}

long Receive(int fd, void* buf, size_t len) {
  return ::recv(S(fd), static_cast<char*>(buf), static_cast<int>(len), 0);
}

size_t Available(int fd) {
  u_long n = 0;
  return ioctlsocket(S(fd), FIONREAD, &n) == 0 ? static_cast<size_t>(n) : 0;
}

void ShutdownWrite(int fd) { ::shutdown(S(fd), SD_SEND); }

void SetReceiveBuffer(int fd, int bytes) {
  setsockopt(S(fd), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof(bytes));
}

void Reset(int fd) {
  linger l{1, 0};
  setsockopt(S(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof(l));
  Close(fd);
}

UdpHolder::UdpHolder() {
  fd_ = BindUdp(&port_);
  if (fd_ < 0) throw std::runtime_error("bind");
}

UdpHolder::~UdpHolder() { Close(fd_); }

}  // namespace loopback
