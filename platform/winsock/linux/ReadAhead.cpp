// Datagrams read ahead. A socket that delivers FD_READ takes the datagrams
// waiting in one system call, up to a few behind the one it hands out, and
// when readiness is reported, before anyone asks. It then knows whether
// another is waiting: FD_READ is posted again and FIONREAD answered from what
// it holds, with no system call; a read that found the queue empty behind its
// last datagram spares the read after it. Callers see the same datagrams,
// sizes, senders and errors, in the same order.
#include "platform/winsock/linux/Addresses.h"
#include "platform/winsock/linux/SocketTable.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace winsock::internal {

namespace {

using Ahead = SocketState::ReadAhead;

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

void SetFrom(const Ahead::Datagram& d, sockaddr* from, int* fromlen) {
  if (!from) return;
  ::sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = d.fromAddr;
  peer.sin_port = d.fromPort;
  FromLinuxAddress(peer, from, fromlen);
}

void AimAt(Ahead::Datagram& d, mmsghdr* m, iovec* iov, ::sockaddr_in* peer) {
  if (!d.data) d.data.reset(new char[kReadAheadSize]);
  *iov = iovec{d.data.get(), kReadAheadSize};
  *m = mmsghdr{};
  m->msg_hdr.msg_name = peer;
  m->msg_hdr.msg_namelen = sizeof *peer;
  m->msg_hdr.msg_iov = iov;
  m->msg_hdr.msg_iovlen = 1;
}

// One system call, with nothing held: the caller's datagram (lead, when
// given) and behind it as many as the slots take. Returns how many datagrams
// came, or -1 with errno set.
int ReadBatch(SocketState& s, mmsghdr* lead, int flags) {
  Ahead& a = s.ahead;
  mmsghdr msgs[Ahead::kBatch + 1];
  iovec iovs[Ahead::kBatch];
  ::sockaddr_in peers[Ahead::kBatch];
  const int first = lead ? 1 : 0;
  if (lead) msgs[0] = *lead;
  for (int i = 0; i < Ahead::kBatch; ++i) AimAt(a.slots[i], &msgs[first + i], &iovs[i], &peers[i]);
  const int asked = first + Ahead::kBatch;
  int got;
  do {
    got = ::recvmmsg(s.fd, msgs, static_cast<unsigned>(asked), flags | MSG_DONTWAIT, nullptr);
  } while (got < 0 && errno == EINTR);
  a.next = a.filled = 0;
  a.emptyBehind = false;
  if (got < 0) return -1;
  if (lead) *lead = msgs[0];
  for (int i = 0; i + first < got; ++i) {
    Ahead::Datagram& d = a.slots[i];
    d.size = static_cast<int>(msgs[first + i].msg_len);
    d.fromAddr = peers[i].sin_addr.s_addr;
    d.fromPort = peers[i].sin_port;
    a.filled = i + 1;
  }
  // Fewer than asked for: the queue was empty behind the last one.
  a.emptyBehind = got < asked;
  if (a.filled == 0 && a.emptyBehind) a.knownEmpty = true;
  return got;
}

// Reads what waits, if anything, into the socket's own slots.
void Refill(SocketState& s) {
  if (ReadBatch(s, nullptr, 0) >= 0) return;
  if (errno == EAGAIN || errno == EWOULDBLOCK)
    s.ahead.knownEmpty = true;
  else
    s.ahead.error = errno;
}

// Hands out the oldest datagram held; a buffer too small takes its start and
// the rest is lost, as with the kernel's own queue.
int ServeHeld(SocketState& s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  Ahead& a = s.ahead;
  const bool peek = (flags & ws::kMsgPeek) != 0;
  if (a.Count() == 0) {
    const int err = a.error;
    if (!peek) a.error = 0;
    return Fail(ReceiveError(err));
  }
  const Ahead::Datagram& d = a.slots[a.next];
  const int size = d.size;
  const int n = size < len ? size : len;
  if (n > 0) std::memcpy(buf, d.data.get(), static_cast<size_t>(n));
  SetFrom(d, from, fromlen);
  if (!peek) ++a.next;
  return size > len ? Fail(WSAEMSGSIZE) : n;
}

// Nothing held: this receive and the reads ahead in one system call.
int ReceiveBatch(SocketState& s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  ::sockaddr_in peer{};
  iovec iov{buf, static_cast<size_t>(len)};
  mmsghdr lead{};
  lead.msg_hdr.msg_name = &peer;
  lead.msg_hdr.msg_namelen = sizeof peer;
  lead.msg_hdr.msg_iov = &iov;
  lead.msg_hdr.msg_iovlen = 1;
  if (ReadBatch(s, &lead, flags) < 0) return Fail(ReceiveError(errno));
  if (from) FromLinuxAddress(peer, from, fromlen);
  if (lead.msg_hdr.msg_flags & MSG_TRUNC) return Fail(WSAEMSGSIZE);
  return static_cast<int>(lead.msg_len);
}

}  // namespace

bool ReceiveAhead(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen,
                  int* result) {
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* st = FindLocked(s);
  if (!st) return false;
  Ahead& a = st->ahead;
  const bool peek = (flags & ws::kMsgPeek) != 0;
  const bool held = a.Held();
  // With the ring's receive in flight, a receive that finds nothing held
  // takes one datagram the plain way and reads nothing ahead: from another
  // thread, the owner's wait may be taking datagrams at the same time.
  if (!held && (st->ringQueue || !ReadsAhead(*st, flags) || peek || len == 0)) return false;
  ForgetFirstDatagramLocked(*st);
  a.knownEmpty = false;
  if (held) {
    *result = ServeHeld(*st, buf, len, flags, from, fromlen);
    // Non-blocking and never waits: the socket is one that reads ahead.
    if (!peek && !a.Held() && ReadsAhead(*st, flags)) {
      if (a.emptyBehind)
        a.knownEmpty = true;
      else
        Refill(*st);
      a.emptyBehind = false;
    }
  } else {
    *result = ReceiveBatch(*st, buf, len, flags, from, fromlen);
  }
  PublishPendingLocked(*st);
  ReadReenabledLocked(*st);
  return true;
}

bool PendingFromAheadLocked(SocketState& s, int* size) {
  Ahead& a = s.ahead;
  if (a.Count() > 0) {
    *size = a.FrontSize();
    return true;
  }
  if (a.error != 0) {
    a.knownEmpty = false;
    *size = 0;
    return true;
  }
  if (a.knownEmpty) {
    // Asked once without the kernel (unless a reader without the lock was
    // first); a later question asks it.
    a.knownEmpty = false;
    if (!TakeQuickEmptyLocked(s)) return false;
    *size = 0;
    return true;
  }
  return false;
}

namespace {

bool StoreFromRing(Ahead& a, const win32::internal::RingDatagram& d) {
  if (d.result < 0 || a.filled >= Ahead::kSlots) return false;
  Ahead::Datagram& slot = a.slots[a.filled];
  if (!slot.data) slot.data.reset(new char[kReadAheadSize]);  // first use only
  if (d.result > 0) std::memcpy(slot.data.get(), d.data, static_cast<size_t>(d.result));
  slot.size = d.result;
  slot.fromAddr = d.fromAddr;
  slot.fromPort = d.fromPort;
  ++a.filled;
  return true;
}

}  // namespace

void TakeRingDatagramsLocked(SocketState& s, const win32::internal::RingDatagram* got, int count,
                             bool emptyBehind) {
  Ahead& a = s.ahead;
  if (!a.Held()) a.next = a.filled = 0;
  a.knownEmpty = false;
  a.emptyBehind = false;
  for (int k = 0; k < count; ++k) {
    if (got[k].result < 0) {
      // The socket's error: the receive after the held ones reports it.
      if (a.error == 0) a.error = -got[k].result;
      PublishPendingLocked(s);
      return;
    }
    // Room by construction: the ring holds no more than its buffers, and a
    // read ahead of the socket's own starts with nothing held.
    if (!StoreFromRing(a, got[k])) break;
  }
  a.emptyBehind = emptyBehind;
  PublishPendingLocked(s);
}

void ReadAheadOnReadyLocked(SocketState& s) {
  if (s.ahead.Held() || !ReadsAhead(s, 0)) return;
  s.ahead.knownEmpty = false;
  Refill(s);
  PublishPendingLocked(s);
}

}  // namespace winsock::internal
