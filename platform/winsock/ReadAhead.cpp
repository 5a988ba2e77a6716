// Datagrams read ahead. A socket that delivers FD_READ reads the datagram
// behind the one it hands out in the same system call, so after each receive
// it knows whether another is waiting: FD_READ is posted again and FIONREAD
// answered from what it holds, with no system call. Callers see the same
// datagrams, sizes, senders and errors, in the same order.
#include "platform/winsock/Addresses.h"
#include "platform/winsock/SocketTable.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace winsock::internal {

namespace {

// Larger than any IPv4 datagram, so nothing read ahead is ever cut.
constexpr size_t kReadAheadSize = 65536;

bool ReadsAhead(const SocketState& s, int flags) {
  return s.type != ws::kSockStream && !s.blocking && s.queue && (s.events & FD_READ) &&
         !(flags & ws::kMsgOob);
}

int ReceiveError(int err) {
  // A datagram socket hears of an unreachable peer this way; Winsock calls it a reset.
  return err == ECONNREFUSED ? WSAECONNRESET : ErrorFromErrno(err);
}

void SetFrom(const SocketState::ReadAhead& a, sockaddr* from, int* fromlen) {
  if (!from) return;
  ::sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = a.fromAddr;
  peer.sin_port = a.fromPort;
  FromLinuxAddress(peer, from, fromlen);
}

msghdr AheadHeader(SocketState::ReadAhead& a, iovec* iov, ::sockaddr_in* peer) {
  if (!a.data) a.data.reset(new char[kReadAheadSize]);
  *iov = iovec{a.data.get(), kReadAheadSize};
  msghdr m{};
  m.msg_name = peer;
  m.msg_namelen = sizeof *peer;
  m.msg_iov = iov;
  m.msg_iovlen = 1;
  return m;
}

void Hold(SocketState::ReadAhead& a, int size, const ::sockaddr_in& peer) {
  a.size = size;
  a.fromAddr = peer.sin_addr.s_addr;
  a.fromPort = peer.sin_port;
}

// Reads the next datagram, if one waits, into the socket's own buffer.
void Refill(SocketState& s) {
  SocketState::ReadAhead& a = s.ahead;
  iovec iov;
  ::sockaddr_in peer{};
  msghdr m = AheadHeader(a, &iov, &peer);
  ssize_t n;
  do {
    n = ::recvmsg(s.fd, &m, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n >= 0)
    Hold(a, static_cast<int>(n), peer);
  else if (errno == EAGAIN || errno == EWOULDBLOCK)
    a.knownEmpty = true;
  else
    a.error = errno;
}

// Hands out the datagram held; a buffer too small takes its start and the rest
// is lost, as with the kernel's own queue.
int ServeHeld(SocketState& s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  SocketState::ReadAhead& a = s.ahead;
  const bool peek = (flags & ws::kMsgPeek) != 0;
  if (a.size < 0) {
    const int err = a.error;
    if (!peek) a.error = 0;
    return Fail(ReceiveError(err));
  }
  const int size = a.size;
  const int n = size < len ? size : len;
  if (n > 0) std::memcpy(buf, a.data.get(), static_cast<size_t>(n));
  SetFrom(a, from, fromlen);
  if (!peek) a.size = -1;
  return size > len ? Fail(WSAEMSGSIZE) : n;
}

// Nothing held: this receive and the read ahead in one system call.
int ReceiveTwo(SocketState& s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  SocketState::ReadAhead& a = s.ahead;
  ::sockaddr_in peers[2]{};
  iovec iovs[2];
  mmsghdr msgs[2]{};
  iovs[0] = iovec{buf, static_cast<size_t>(len)};
  msgs[0].msg_hdr.msg_name = &peers[0];
  msgs[0].msg_hdr.msg_namelen = sizeof peers[0];
  msgs[0].msg_hdr.msg_iov = &iovs[0];
  msgs[0].msg_hdr.msg_iovlen = 1;
  msgs[1].msg_hdr = AheadHeader(a, &iovs[1], &peers[1]);
  int got;
  do {
    got = ::recvmmsg(s.fd, msgs, 2, flags | MSG_DONTWAIT, nullptr);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return Fail(ReceiveError(errno));
  // Fewer than asked for: the queue was empty behind the last one.
  if (got == 2)
    Hold(a, static_cast<int>(msgs[1].msg_len), peers[1]);
  else
    a.knownEmpty = true;
  if (from) FromLinuxAddress(peers[0], from, fromlen);
  if (msgs[0].msg_hdr.msg_flags & MSG_TRUNC) return Fail(WSAEMSGSIZE);
  return static_cast<int>(msgs[0].msg_len);
}

}  // namespace

bool ReceiveAhead(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen,
                  int* result) {
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* st = FindLocked(s);
  if (!st) return false;
  const bool peek = (flags & ws::kMsgPeek) != 0;
  const bool held = st->ahead.Held();
  if (!held && (!ReadsAhead(*st, flags) || peek || len == 0)) return false;
  ForgetFirstDatagramLocked(*st);
  st->ahead.knownEmpty = false;
  if (held) {
    *result = ServeHeld(*st, buf, len, flags, from, fromlen);
    // Non-blocking and never waits: the socket is one that reads ahead.
    if (!peek && ReadsAhead(*st, flags)) Refill(*st);
  } else {
    *result = ReceiveTwo(*st, buf, len, flags, from, fromlen);
  }
  PublishPendingLocked(*st);
  ReadReenabledLocked(*st);
  return true;
}

bool PendingFromAheadLocked(SocketState& s, int* size) {
  SocketState::ReadAhead& a = s.ahead;
  if (a.size >= 0) {
    *size = a.size;
    return true;
  }
  if (a.error != 0 || a.knownEmpty) {
    // Asked once without the kernel; a later question asks it.
    a.knownEmpty = false;
    *size = 0;
    return true;
  }
  return false;
}

}  // namespace winsock::internal
