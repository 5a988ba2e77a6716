// setsockopt and getsockopt: Winsock's levels, option numbers and value
// layouts translated to Linux's.
#include "platform/winsock/linux/SocketTable.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace winsock {

using namespace internal;

namespace {

enum class Kind {
  Bool,        // Winsock BOOL (int; a single byte is accepted too)
  Int,         // int
  BufferSize,  // int; a size above the system's limit is forced where the process may
  Linger,      // Winsock's 16-bit pair <-> Linux's int pair
  DontLinger,
  Error,       // read only; Winsock error code
  InAddr,      // 4-byte address
  Membership,  // ip_mreq, same layout on both sides
  ReadOnlyInt,
};

struct Mapping {
  int level;
  int name;
  Kind kind;
};

bool Translate(int level, int optname, Mapping* m, int* wsaError) {
  if (level == ws::kSolSocket) {
    switch (optname) {
      case ws::kSoDebug:
        *m = {SOL_SOCKET, SO_DEBUG, Kind::Bool};
        return true;
      case ws::kSoAcceptConn:
        *m = {SOL_SOCKET, SO_ACCEPTCONN, Kind::ReadOnlyInt};
        return true;
      case ws::kSoReuseAddr:
        *m = {SOL_SOCKET, SO_REUSEADDR, Kind::Bool};
        return true;
      case ws::kSoKeepAlive:
        *m = {SOL_SOCKET, SO_KEEPALIVE, Kind::Bool};
        return true;
      case ws::kSoDontRoute:
        *m = {SOL_SOCKET, SO_DONTROUTE, Kind::Bool};
        return true;
      case ws::kSoBroadcast:
        *m = {SOL_SOCKET, SO_BROADCAST, Kind::Bool};
        return true;
      case ws::kSoLinger:
        *m = {SOL_SOCKET, SO_LINGER, Kind::Linger};
        return true;
      case ws::kSoDontLinger:
        *m = {SOL_SOCKET, SO_LINGER, Kind::DontLinger};
        return true;
      case ws::kSoOobInline:
        *m = {SOL_SOCKET, SO_OOBINLINE, Kind::Bool};
        return true;
      case ws::kSoSndBuf:
        *m = {SOL_SOCKET, SO_SNDBUF, Kind::BufferSize};
        return true;
      case ws::kSoRcvBuf:
        *m = {SOL_SOCKET, SO_RCVBUF, Kind::BufferSize};
        return true;
      case ws::kSoError:
        *m = {SOL_SOCKET, SO_ERROR, Kind::Error};
        return true;
      case ws::kSoType:
        *m = {SOL_SOCKET, SO_TYPE, Kind::ReadOnlyInt};
        return true;
    }
    *wsaError = WSAENOPROTOOPT;
    return false;
  }
  if (level == ws::kIpprotoTcp) {
    if (optname == ws::kTcpNoDelay) {
      *m = {IPPROTO_TCP, TCP_NODELAY, Kind::Bool};
      return true;
    }
    *wsaError = WSAENOPROTOOPT;
    return false;
  }
  if (level == ws::kIpprotoIp) {
    switch (optname) {
      case ws::kIpMulticastIf:
        *m = {IPPROTO_IP, IP_MULTICAST_IF, Kind::InAddr};
        return true;
      case ws::kIpMulticastTtl:
        *m = {IPPROTO_IP, IP_MULTICAST_TTL, Kind::Int};
        return true;
      case ws::kIpMulticastLoop:
        *m = {IPPROTO_IP, IP_MULTICAST_LOOP, Kind::Bool};
        return true;
      case ws::kIpAddMembership:
        *m = {IPPROTO_IP, IP_ADD_MEMBERSHIP, Kind::Membership};
        return true;
      case ws::kIpDropMembership:
        *m = {IPPROTO_IP, IP_DROP_MEMBERSHIP, Kind::Membership};
        return true;
      case ws::kIpTtl:
        *m = {IPPROTO_IP, IP_TTL, Kind::Int};
        return true;
      case ws::kIpTos:
        *m = {IPPROTO_IP, IP_TOS, Kind::Int};
        return true;
    }
    *wsaError = WSAENOPROTOOPT;
    return false;
  }
  *wsaError = WSAEINVAL;
  return false;
}

int ReadInt(const char* optval, int optlen) {
  if (optlen >= static_cast<int>(sizeof(int))) {
    int v;
    std::memcpy(&v, optval, sizeof v);
    return v;
  }
  return static_cast<unsigned char>(optval[0]);
}

void RememberLinger(SOCKET s, int seconds) {
  std::lock_guard<std::mutex> lock(TableMutex());
  if (SocketState* st = FindLocked(s)) st->lingerSeconds = seconds;
}

int Set(int fd, const Mapping& m, const void* value, socklen_t len) {
  return ::setsockopt(fd, m.level, m.name, value, len) == 0 ? 0 : FailWithErrno();
}

}  // namespace

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  if (!CheckStarted()) return SOCKET_ERROR;
  Mapping m;
  int wsaError = 0;
  if (!Translate(level, optname, &m, &wsaError)) return Fail(wsaError);
  if (!optval || optlen < 1) return Fail(WSAEFAULT);
  const int fd = static_cast<int>(s);
  switch (m.kind) {
    case Kind::Bool: {
      int v = ReadInt(optval, optlen) != 0 ? 1 : 0;
      return Set(fd, m, &v, sizeof v);
    }
    case Kind::Int: {
      int v = ReadInt(optval, optlen);
      return Set(fd, m, &v, sizeof v);
    }
    case Kind::BufferSize: {
      // Winsock grants the size asked for; Linux cuts it to net.core.[rw]mem_max
      // unless the process may exceed that (CAP_NET_ADMIN). Below the limit
      // both options do the same.
      int v = ReadInt(optval, optlen);
      const int forced = m.name == SO_RCVBUF ? SO_RCVBUFFORCE : SO_SNDBUFFORCE;
      if (::setsockopt(fd, SOL_SOCKET, forced, &v, sizeof v) == 0) return 0;
      return Set(fd, m, &v, sizeof v);
    }
    case Kind::Linger: {
      if (optlen < static_cast<int>(sizeof(winsock::linger))) return Fail(WSAEFAULT);
      winsock::linger w;
      std::memcpy(&w, optval, sizeof w);
      ::linger l{w.l_onoff ? 1 : 0, w.l_linger};
      if (int r = Set(fd, m, &l, sizeof l)) return r;
      RememberLinger(s, l.l_onoff ? l.l_linger : 0);
      return 0;
    }
    case Kind::DontLinger: {
      ::linger l{ReadInt(optval, optlen) ? 0 : 1, 0};
      if (int r = Set(fd, m, &l, sizeof l)) return r;
      RememberLinger(s, 0);
      return 0;
    }
    case Kind::InAddr:
      if (optlen < 4) return Fail(WSAEFAULT);
      return Set(fd, m, optval, 4);
    case Kind::Membership:
      if (optlen < static_cast<int>(sizeof(winsock::ip_mreq))) return Fail(WSAEFAULT);
      static_assert(sizeof(winsock::ip_mreq) == sizeof(::ip_mreq), "membership records match");
      return Set(fd, m, optval, sizeof(::ip_mreq));
    case Kind::Error:
    case Kind::ReadOnlyInt:
      return Fail(WSAENOPROTOOPT);
  }
  return Fail(WSAENOPROTOOPT);
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  if (!CheckStarted()) return SOCKET_ERROR;
  Mapping m;
  int wsaError = 0;
  if (!Translate(level, optname, &m, &wsaError)) return Fail(wsaError);
  if (!optval || !optlen || *optlen < 1) return Fail(WSAEFAULT);
  const int fd = static_cast<int>(s);
  switch (m.kind) {
    case Kind::Linger:
    case Kind::DontLinger: {
      ::linger l{};
      socklen_t len = sizeof l;
      if (::getsockopt(fd, m.level, m.name, &l, &len) != 0) return FailWithErrno();
      if (m.kind == Kind::DontLinger) {
        int v = l.l_onoff ? 0 : 1;
        if (*optlen < static_cast<int>(sizeof v)) return Fail(WSAEFAULT);
        std::memcpy(optval, &v, sizeof v);
        *optlen = sizeof v;
        return 0;
      }
      if (*optlen < static_cast<int>(sizeof(winsock::linger))) return Fail(WSAEFAULT);
      winsock::linger w{static_cast<u_short>(l.l_onoff ? 1 : 0), static_cast<u_short>(l.l_linger)};
      std::memcpy(optval, &w, sizeof w);
      *optlen = sizeof w;
      return 0;
    }
    case Kind::InAddr: {
      if (*optlen < 4) return Fail(WSAEFAULT);
      ::in_addr a{};
      socklen_t len = sizeof a;
      if (::getsockopt(fd, m.level, m.name, &a, &len) != 0) return FailWithErrno();
      std::memcpy(optval, &a, 4);
      *optlen = 4;
      return 0;
    }
    case Kind::Membership:
      return Fail(WSAENOPROTOOPT);
    default: {
      int v = 0;
      socklen_t len = sizeof v;
      if (::getsockopt(fd, m.level, m.name, &v, &len) != 0) return FailWithErrno();
      if (m.kind == Kind::Error) v = ErrorFromErrno(v);
      if (m.kind == Kind::Bool) v = v ? 1 : 0;
      // A one-byte buffer gets a one-byte answer for a BOOL, as in Winsock.
      if (*optlen < static_cast<int>(sizeof v)) {
        if (m.kind != Kind::Bool) return Fail(WSAEFAULT);
        optval[0] = static_cast<char>(v);
        *optlen = 1;
        return 0;
      }
      std::memcpy(optval, &v, sizeof v);
      *optlen = sizeof v;
      return 0;
    }
  }
}

}  // namespace winsock
