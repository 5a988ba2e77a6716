// Creating, binding, connecting, listening, accepting and closing sockets.
#include "platform/winsock/linux/Addresses.h"
#include "platform/winsock/linux/SocketTable.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace winsock {

using namespace internal;

namespace {

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

SOCKET FailSocket(int wsaError) {
  Fail(wsaError);
  return INVALID_SOCKET;
}

// closesocket must not block the loop: with a linger time set, Winsock 1.1
// answers WSAEWOULDBLOCK on a non-blocking socket until the data has gone out
// (or the time is up, which then resets the connection).
bool MustWaitForLinger(SocketState& s) {
  // Connecting counts too: without WSAAsyncSelect nobody tells us it connected.
  if (s.lingerSeconds <= 0 || s.blocking || s.type != ws::kSockStream ||
      (s.phase != Phase::Connected && s.phase != Phase::Connecting))
    return false;
  int unsent = 0;
  if (ioctl(s.fd, SIOCOUTQ, &unsent) != 0 || unsent <= 0) {
    ::linger off{0, 0};
    ::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    return false;
  }
  const int64_t now = NowMs();
  if (s.lingerCloseStart < 0) {
    s.lingerCloseStart = now;
    ::shutdown(s.fd, SHUT_WR);
    s.sendShut = true;
  }
  if (now - s.lingerCloseStart < static_cast<int64_t>(s.lingerSeconds) * 1000) return true;
  ::linger hard{1, 0};
  ::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  return false;
}

// FIONREAD. On a datagram socket Linux counts the first datagram only, which
// is what one receive can take. That size is remembered until the next
// receive: a receive loop asks "anything more?" and then "how large?" of the
// same datagram.
int PendingBytes(SOCKET s, u_long* argp) {
  const int quick = QuickPending(s);
  if (quick >= 0) {
    *argp = static_cast<u_long>(quick);
    return 0;
  }
  uint32_t receives = 0;
  uint64_t key = 0;  // 0: not a datagram socket of ours
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    if (SocketState* st = FindLocked(s)) {
      if (st->type != ws::kSockStream) {
        int held;
        if (PendingFromAheadLocked(*st, &held)) {
          *argp = static_cast<u_long>(held);
          return 0;
        }
        if (st->firstDatagram >= 0) {
          *argp = static_cast<u_long>(st->firstDatagram);
          return 0;
        }
        key = st->Key();
        receives = st->receives;
      }
    }
  }
  int pending = 0;
  if (::ioctl(static_cast<int>(s), FIONREAD, &pending) != 0) return FailWithErrno();
  *argp = static_cast<u_long>(pending);
  // An empty queue is not remembered: the next datagram may come any moment.
  if (key != 0 && pending > 0) {
    std::lock_guard<std::mutex> lock(TableMutex());
    SocketState* st = FindByKeyLocked(key);
    if (st && st->receives == receives) st->firstDatagram = pending;
  }
  return 0;
}

}  // namespace

namespace internal {

void CloseAllSockets() {
  std::lock_guard<std::mutex> lock(TableMutex());
  ForEachSocketLocked([](SocketState& st) {
    DetachLocked(st);
    if (st.notifiedHwnd)
      win32::internal::RemovePostedMessage(st.notifiedHwnd, st.notifiedMsg,
                                           static_cast<win32::WPARAM>(st.fd), true);
    ::close(st.fd);
  });
  ClearLocked();
}

}  // namespace internal

SOCKET socket(int af, int type, int protocol) {
  if (!CheckStarted()) return INVALID_SOCKET;
  if (af != ws::kAfInet) return FailSocket(WSAEAFNOSUPPORT);
  if (type != ws::kSockStream && type != ws::kSockDgram && type != ws::kSockRaw)
    return FailSocket(WSAESOCKTNOSUPPORT);
  // Sockets start blocking, as in Winsock; WSAAsyncSelect (or FIONBIO) makes
  // them non-blocking, and the loop's sockets always are.
  int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    FailWithErrno();
    return INVALID_SOCKET;
  }
  std::lock_guard<std::mutex> lock(TableMutex());
  AddLocked(fd, type)->blocking = true;
  return static_cast<SOCKET>(fd);
}

int closesocket(SOCKET s) {
  if (!CheckStarted()) return SOCKET_ERROR;
  int fd;
  win32::HWND notified;
  win32::UINT notifiedMsg;
  win32::internal::QueuePtr ringQueue;  // whose ring has a receive in flight for it
  uint64_t key = 0;
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    SocketState* st = FindLocked(s);
    if (!st) return Fail(WSAENOTSOCK);
    if (MustWaitForLinger(*st)) return Fail(WSAEWOULDBLOCK);
    ringQueue = st->ringQueue;
    key = st->Key();
    DetachLocked(*st);
    fd = st->fd;
    notified = st->notifiedHwnd;
    notifiedMsg = st->notifiedMsg;
    RemoveLocked(st);
  }
  // Linux hands the same number to the next socket at once; notifications
  // still queued for this one must not reach that one.
  if (notified)
    win32::internal::RemovePostedMessage(notified, notifiedMsg, static_cast<win32::WPARAM>(fd),
                                         true);
  // The ring's receive holds the socket open: ended first, the port is free
  // when this returns (on the ring's own thread; see DetachLocked otherwise).
  if (ringQueue) win32::internal::EndRingReceive(*ringQueue, key);
  // Linux releases the descriptor even when close reports EINTR.
  ::close(fd);
  return 0;
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
  if (!CheckStarted()) return SOCKET_ERROR;
  if (!PlausibleSocket(s)) return Fail(WSAENOTSOCK);
  ::sockaddr_in sa;
  if (int err = ToLinuxAddress(name, namelen, &sa)) return Fail(err);
  if (::bind(static_cast<int>(s), reinterpret_cast<::sockaddr*>(&sa), sizeof sa) != 0)
    return FailWithErrno();
  return 0;
}

int listen(SOCKET s, int backlog) {
  if (!CheckStarted()) return SOCKET_ERROR;
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* st = FindLocked(s);
  if (!st) return Fail(WSAENOTSOCK);
  if (st->type != ws::kSockStream) return Fail(WSAEOPNOTSUPP);
  if (st->phase == Phase::Connected || st->phase == Phase::Connecting) return Fail(WSAEISCONN);
  // listen() does not block, so the lock may be held across it. SOMAXCONN asks
  // for the largest reasonable queue: the kernel's (net.core.somaxconn), not 5,
  // which makes a burst of clients wait a second for each dropped handshake.
  constexpr int kSomaxconn = 5;  // winsock::SOMAXCONN, which the C library's macro hides here
  const int queue = backlog >= kSomaxconn ? INT_MAX : (backlog < 1 ? 1 : backlog);
  if (::listen(st->fd, queue) != 0) return FailWithErrno();
  st->phase = Phase::Listening;
  InterestChangedLocked(*st);
  return 0;
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
  if (!CheckStarted()) return SOCKET_ERROR;
  ::sockaddr_in sa;
  uint64_t key;
  bool blocking;
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    SocketState* st = FindLocked(s);
    if (!st) return Fail(WSAENOTSOCK);
    if (int err = ToLinuxAddress(name, namelen, &sa)) return Fail(err);
    // A connect under way is left to Linux: it says EALREADY, or EISCONN once
    // the connection stands (which nobody may have noticed yet).
    if (st->type == ws::kSockStream) {
      if (st->phase == Phase::Connected) return Fail(WSAEISCONN);
      if (st->phase == Phase::Listening) return Fail(WSAEINVAL);
    }
    key = st->Key();
    blocking = st->blocking;
  }
  int r = ::connect(static_cast<int>(s), reinterpret_cast<::sockaddr*>(&sa), sizeof sa);
  const int err = r == 0 ? 0 : errno;
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* st = FindByKeyLocked(key);
  if (!st) return Fail(WSAENOTSOCK);
  if (st->type != ws::kSockStream) return err ? Fail(ErrorFromErrno(err)) : 0;
  // Linux answers a repeated connect with 0 once the first one got through.
  if (st->phase == Phase::Connecting) return Fail(err ? ErrorFromErrno(err) : WSAEISCONN);
  if (err == 0 || err == EINPROGRESS) {
    // Even an immediate success is reported by FD_CONNECT, as Winsock does.
    st->phase = blocking ? Phase::Connected : Phase::Connecting;
    InterestChangedLocked(*st);
    return err == 0 ? 0 : Fail(WSAEWOULDBLOCK);
  }
  return Fail(ErrorFromErrno(err));
}

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
  if (!CheckStarted()) return INVALID_SOCKET;
  if (addr && (!addrlen || *addrlen < static_cast<int>(sizeof(winsock::sockaddr_in))))
    return FailSocket(WSAEFAULT);
  if (!PlausibleSocket(s)) return FailSocket(WSAENOTSOCK);
  ::sockaddr_in peer{};
  socklen_t peerLen = sizeof peer;
  // A blocking listener waits here, as in Winsock; the accepted socket has
  // the listener's mode.
  int fd = ::accept4(static_cast<int>(s), reinterpret_cast<::sockaddr*>(&peer), &peerLen,
                     SOCK_CLOEXEC);
  const int err = fd < 0 ? errno : 0;
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    SocketState* listener = FindLocked(s);
    if (!listener) {
      if (fd >= 0) ::close(fd);
      return FailSocket(WSAENOTSOCK);
    }
    AcceptReenabledLocked(*listener);
    if (fd < 0)
      return FailSocket(listener->phase == Phase::Listening ? ErrorFromErrno(err) : WSAEINVAL);
    SocketState* accepted = AddLocked(fd, ws::kSockStream);
    accepted->phase = Phase::Connected;
    accepted->blocking = listener->blocking;
    if (!accepted->blocking) {
      int one = 1;
      ioctl(fd, FIONBIO, &one);
    }
    InheritSelectLocked(*accepted, *listener);
  }
  if (addr) FromLinuxAddress(peer, addr, addrlen);
  return static_cast<SOCKET>(fd);
}

int shutdown(SOCKET s, int how) {
  if (!CheckStarted()) return SOCKET_ERROR;
  if (how < SD_RECEIVE || how > SD_BOTH) return Fail(WSAEINVAL);
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* st = FindLocked(s);
  if (!st) return Fail(WSAENOTSOCK);
  // Winsock's SD_* and Linux's SHUT_* share their numbers.
  if (::shutdown(st->fd, how) != 0) return FailWithErrno();
  if (how != SD_RECEIVE) st->sendShut = true;
  if (how != SD_SEND) {
    // Our own end of reading is no close by the peer: stop watching for it.
    st->receiveShut = true;
    InterestChangedLocked(*st);
  }
  return 0;
}

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
  if (!CheckStarted()) return SOCKET_ERROR;
  if (!PlausibleSocket(s)) return Fail(WSAENOTSOCK);
  ::sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(static_cast<int>(s), reinterpret_cast<::sockaddr*>(&sa), &len) != 0)
    return FailWithErrno();
  // Winsock refuses to name a socket that was never bound.
  if (sa.sin_port == 0 && sa.sin_addr.s_addr == 0) return Fail(WSAEINVAL);
  if (int err = FromLinuxAddress(sa, name, namelen)) return Fail(err);
  return 0;
}

int getpeername(SOCKET s, sockaddr* name, int* namelen) {
  if (!CheckStarted()) return SOCKET_ERROR;
  if (!PlausibleSocket(s)) return Fail(WSAENOTSOCK);
  ::sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getpeername(static_cast<int>(s), reinterpret_cast<::sockaddr*>(&sa), &len) != 0)
    return FailWithErrno();
  if (int err = FromLinuxAddress(sa, name, namelen)) return Fail(err);
  return 0;
}

int ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  if (!CheckStarted()) return SOCKET_ERROR;
  if (!argp) return Fail(WSAEFAULT);
  if (!PlausibleSocket(s)) return Fail(WSAENOTSOCK);
  const int fd = static_cast<int>(s);
  if (cmd == ws::kFionread) return PendingBytes(s, argp);
  if (cmd == ws::kSiocatmark) {
    int atMark = 0;
    if (::ioctl(fd, SIOCATMARK, &atMark) != 0) return FailWithErrno();
    *argp = atMark ? 1 : 0;
    return 0;
  }
  if (cmd != ws::kFionbio) return Fail(WSAEINVAL);
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* st = FindLocked(s);
  if (!st) return Fail(WSAENOTSOCK);
  const bool blocking = *argp == 0;
  // A socket under WSAAsyncSelect stays non-blocking (Winsock says WSAEINVAL).
  if (blocking && st->events != 0) return Fail(WSAEINVAL);
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) != 0)
    return FailWithErrno();
  st->blocking = blocking;
  return 0;
}

}  // namespace winsock
