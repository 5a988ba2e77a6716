// Sending and receiving. The receive path is the relay's hot path: one system
// call and one short table lock per datagram (see ReadAhead.cpp).
#include "platform/winsock/linux/Addresses.h"
#include "platform/winsock/linux/SocketTable.h"

#include <sys/socket.h>

#include <cerrno>

namespace winsock {

using namespace internal;

namespace {

// Winsock's MSG_OOB and MSG_PEEK share Linux's numbers; so does MSG_DONTROUTE.
bool TranslateFlags(int flags, bool receiving, int* out) {
  const int allowed = ws::kMsgOob | (receiving ? ws::kMsgPeek : ws::kMsgDontRoute);
  if (flags & ~allowed) return false;
  *out = flags;
  return true;
}

// The state a send or receive needs once the system call is done.
struct Outcome {
  bool known = false;
  bool sendShut = false;
  bool connected = false;
};

// Linux takes part of a send when its buffer fills, where Winsock would have
// answered WSAEWOULDBLOCK on the next call; callers then wait for FD_WRITE, so
// a short send re-arms it as well.
int ShortSend(SOCKET s, ssize_t sent) {
  std::lock_guard<std::mutex> lock(TableMutex());
  if (SocketState* st = FindLocked(s)) WriteBlockedLocked(*st);
  return static_cast<int>(sent);
}

int SendFailure(SOCKET s, int err, bool wasSend) {
  Outcome o;
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    if (SocketState* st = FindLocked(s)) {
      o.known = true;
      o.sendShut = st->sendShut;
      o.connected = st->phase == Phase::Connected;
      if (err == EAGAIN || err == EWOULDBLOCK) WriteBlockedLocked(*st);
    }
  }
  if (!o.known && (err == EBADF || err == ENOTSOCK)) return Fail(WSAENOTSOCK);
  // Linux says EPIPE for a stream that never connected, was shut or was reset.
  if (err == EPIPE)
    return Fail(o.sendShut ? WSAESHUTDOWN : o.connected ? WSAECONNRESET : WSAENOTCONN);
  if (wasSend && err == EDESTADDRREQ) return Fail(WSAENOTCONN);
  return Fail(ErrorFromErrno(err));
}

// Every receive call re-enables FD_READ, and may have taken the datagram whose
// size FIONREAD remembers. Returns the socket type, -1 for an unknown socket.
int ReceiveCalled(SOCKET s) {
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* st = FindLocked(s);
  if (!st) return -1;
  ForgetFirstDatagramLocked(*st);
  ReadReenabledLocked(*st);
  return st->type;
}

// After a receive that took a datagram: a size FIONREAD found meanwhile (on
// another thread) may be that datagram's.
void DatagramTaken(SOCKET s) {
  std::lock_guard<std::mutex> lock(TableMutex());
  if (SocketState* st = FindLocked(s)) ForgetFirstDatagramLocked(*st);
}

// A receive of zero bytes: Winsock answers 0 when data (or the end) is there
// and WSAEWOULDBLOCK when nothing is; a datagram is taken and reported too long.
int ReceiveNothing(SOCKET s, int flags) {
  const int type = ReceiveCalled(s);
  if (type < 0) return Fail(WSAENOTSOCK);
  char probe;
  if (type == ws::kSockStream) {
    if (::recv(static_cast<int>(s), &probe, 1, flags | MSG_PEEK) < 0) return FailWithErrno();
    return 0;
  }
  ssize_t n = ::recv(static_cast<int>(s), &probe, 0, flags | MSG_TRUNC);
  if (n < 0) return FailWithErrno();
  if (!(flags & MSG_PEEK)) DatagramTaken(s);
  return n > 0 ? Fail(WSAEMSGSIZE) : 0;
}

int Receive(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  if (!CheckStarted()) return SOCKET_ERROR;
  int sysFlags;
  if (!TranslateFlags(flags, true, &sysFlags)) return Fail(WSAEOPNOTSUPP);
  if (len < 0 || (!buf && len > 0)) return Fail(WSAEFAULT);
  if (from && (!fromlen || *fromlen < static_cast<int>(sizeof(winsock::sockaddr_in))))
    return Fail(WSAEFAULT);
  if (!PlausibleSocket(s)) return Fail(WSAENOTSOCK);
  int result;
  if (ReceiveAhead(s, buf, len, sysFlags, from, fromlen, &result)) return result;
  if (len == 0) return ReceiveNothing(s, sysFlags);

  ::sockaddr_in peer{};
  iovec iov{buf, static_cast<size_t>(len)};
  msghdr m{};
  m.msg_name = from ? &peer : nullptr;
  m.msg_namelen = from ? sizeof peer : 0;
  m.msg_iov = &iov;
  m.msg_iovlen = 1;
  ssize_t n = ::recvmsg(static_cast<int>(s), &m, sysFlags);
  const int err = n < 0 ? errno : 0;

  const int type = ReceiveCalled(s);
  if (type < 0) return Fail(WSAENOTSOCK);
  if (n < 0) {
    // A datagram socket hears of an unreachable peer this way; Winsock calls it a reset.
    if (err == ECONNREFUSED && type != ws::kSockStream) return Fail(WSAECONNRESET);
    return Fail(ErrorFromErrno(err));
  }
  if (from && type != ws::kSockStream) FromLinuxAddress(peer, from, fromlen);
  // Winsock reports a datagram cut to the buffer as an error, the buffer filled.
  if (m.msg_flags & MSG_TRUNC) return Fail(WSAEMSGSIZE);
  return static_cast<int>(n);
}

}  // namespace

int recv(SOCKET s, char* buf, int len, int flags) {
  return Receive(s, buf, len, flags, nullptr, nullptr);
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  return Receive(s, buf, len, flags, from, fromlen);
}

int send(SOCKET s, const char* buf, int len, int flags) {
  if (!CheckStarted()) return SOCKET_ERROR;
  int sysFlags;
  if (!TranslateFlags(flags, false, &sysFlags)) return Fail(WSAEOPNOTSUPP);
  if (len < 0 || (!buf && len > 0)) return Fail(WSAEFAULT);
  if (!PlausibleSocket(s)) return Fail(WSAENOTSOCK);
  // No SIGPIPE: a broken connection is an error code, as in Winsock.
  ssize_t n = ::send(static_cast<int>(s), buf, static_cast<size_t>(len), sysFlags | MSG_NOSIGNAL);
  if (n < 0) return SendFailure(s, errno, true);
  if (n < len) return ShortSend(s, n);
  return static_cast<int>(n);
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
  if (!to) return send(s, buf, len, flags);
  if (!CheckStarted()) return SOCKET_ERROR;
  int sysFlags;
  if (!TranslateFlags(flags, false, &sysFlags)) return Fail(WSAEOPNOTSUPP);
  if (len < 0 || (!buf && len > 0)) return Fail(WSAEFAULT);
  if (!PlausibleSocket(s)) return Fail(WSAENOTSOCK);
  ::sockaddr_in sa;
  if (int err = ToLinuxAddress(to, tolen, &sa)) return Fail(err);
  ssize_t n = ::sendto(static_cast<int>(s), buf, static_cast<size_t>(len), sysFlags | MSG_NOSIGNAL,
                       reinterpret_cast<::sockaddr*>(&sa), sizeof sa);
  // A connected stream ignores the address in Winsock.
  if (n < 0 && errno == EISCONN)
    n = ::send(static_cast<int>(s), buf, static_cast<size_t>(len), sysFlags | MSG_NOSIGNAL);
  if (n < 0) return SendFailure(s, errno, false);
  if (n < len) return ShortSend(s, n);
  return static_cast<int>(n);
}

}  // namespace winsock
