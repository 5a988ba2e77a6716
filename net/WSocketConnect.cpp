// Outgoing connections: Connect for stream and datagram clients, the bind to
// the local end, and the linger option.
#include "net/WSocket.h"

#include "rtl/Application.h"

namespace {

// setsockopt with a 32-bit value; returns whether it succeeded.
bool SetIntOption(winsock::SOCKET Handle, int Level, int Name, int32_t Value) {
  return WSocket_setsockopt(Handle, Level, Name, reinterpret_cast<const char*>(&Value),
                            sizeof(Value)) == 0;
}

}  // namespace

void TCustomWSocket::Connect() {
  if (SocketHandle != winsock::INVALID_SOCKET && FState != wsClosed) {
    RaiseOrReport("Connect: Socket already in use");
    return;
  }
  if (!PortAssigned) {
    RaiseOrReport("Connect: No Port Specified");
    return;
  }
  if (!AddrAssigned) {
    RaiseOrReport("Connect: No IP Address Specified");
    return;
  }
  if (!ProtoAssigned) {
    RaiseOrReport("Connect: No Protocol Specified");
    return;
  }

  try {
    if (!ProtoResolved) {
      ProtoNumber = WSocketResolveProto(FProto);
      if (ProtoNumber == winsock::IPPROTO_TCP)
        SocketType = winsock::SOCK_STREAM;
      else if (ProtoNumber == winsock::IPPROTO_UDP)
        SocketType = winsock::SOCK_DGRAM;
      else
        SocketType = winsock::SOCK_RAW;
      ProtoResolved = true;
    }
    if (!PortResolved) {
      PortNumber = WSocketResolvePort(FPort, FProto);
      SockAddr.sin_port = WSocket_htons(PortNumber);
      PortResolved = true;
    }
    if (!LocalPortResolved) {
      LocalPortNumber = WSocketResolvePort(FLocalPort, FProto);
      LocalPortResolved = true;
    }
    if (!AddrResolved) {
      SockAddr.sin_addr.s_addr = WSocketResolveHost(FAddr);
      AddrResolved = true;
    }
  } catch (const std::exception& E) {
    RaiseOrReport("connect: " + ExceptionMessage(E));
    return;
  }

  // Bytes left from an earlier connection never go out on this one.
  DiscardSendQueue();

  SocketHandle = WSocket_socket(AddrFamily, SocketType, ProtoNumber);
  if (SocketHandle == winsock::INVALID_SOCKET) {
    RaiseSocketError("Connect (socket)");
    return;
  }
  const winsock::SOCKET handle = SocketHandle;

  TAliveGuard guard(this);
  SetState(wsOpened);
  if (guard.Destroyed()) return;
  if (FState != wsOpened || SocketHandle != handle) {
    WSocket_WSASetLastError(winsock::WSAEINVAL);
    RaiseSocketError("Connect (Invalid operation in OnChangeState)");
    return;
  }

  if (SocketType == winsock::SOCK_DGRAM) {
    BindLocalAddress();
    if (guard.Destroyed()) return;
    if (FMultiCast) {
      if (FMultiCastIpTTL != 1 && !SetIntOption(SocketHandle, winsock::IPPROTO_IP,
                                                winsock::IP_MULTICAST_TTL, FMultiCastIpTTL)) {
        RaiseSocketError("setsockopt(IP_MULTICAST_TTL)");
        return;
      }
      if (FLocalAddr != "0.0.0.0") {
        uint32_t iface = WSocketResolveHost(FLocalAddr);
        if (!SetIntOption(SocketHandle, winsock::IPPROTO_IP, winsock::IP_MULTICAST_IF,
                          static_cast<int32_t>(iface))) {
          RaiseSocketError("setsockopt(IP_MULTICAST_IF)");
          return;
        }
      }
    }
    if (SockAddr.sin_addr.s_addr == winsock::INADDR_BROADCAST &&
        !SetIntOption(SocketHandle, winsock::SOL_SOCKET, winsock::SO_BROADCAST, 1)) {
      RaiseSocketError("setsockopt(SO_BROADCAST)");
      return;
    }
  } else {
    if (!SetIntOption(SocketHandle, winsock::SOL_SOCKET, winsock::SO_REUSEADDR, -1)) {
      RaiseSocketError("setsockopt(SO_REUSEADDR)");
      return;
    }
    if (FComponentOptions.Contains(wsoTcpNoDelay) &&
        !SetIntOption(SocketHandle, winsock::IPPROTO_TCP, winsock::TCP_NODELAY, -1)) {
      RaiseSocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
      return;
    }
    ApplyLinger();
    if (!SetIntOption(SocketHandle, winsock::SOL_SOCKET, winsock::SO_KEEPALIVE, -1)) {
      RaiseSocketError("setsockopt(SO_KEEPALIVE)");
      return;
    }
    if (LocalPortNumber != 0 || FLocalAddr != "0.0.0.0") {
      BindLocalAddress();
      if (guard.Destroyed()) return;
    }
  }

  SelectEvents = winsock::FD_READ | winsock::FD_WRITE | winsock::FD_ACCEPT | winsock::FD_CONNECT |
                 winsock::FD_CLOSE;
  if (WSocket_WSAAsyncSelect(SocketHandle, HiddenWindow, WM_SOCKET_EVENT,
                             static_cast<long>(SelectEvents)) != 0) {
    RaiseSocketError("WSAAsyncSelect");
    return;
  }

  if (SocketType == winsock::SOCK_DGRAM) {
    SetState(wsConnected);
    if (guard.Destroyed() || SocketHandle != handle) return;
    FireSessionConnected(0);
    return;
  }

  // Even an immediate success is reported by the FD_CONNECT notification.
  if (WSocket_connect(SocketHandle, reinterpret_cast<const winsock::sockaddr*>(&SockAddr),
                      sizeof(SockAddr)) != 0) {
    int code = WSocket_WSAGetLastError();
    if (code != winsock::WSAEWOULDBLOCK) {
      FLastError = code;
      RaiseSocketError("Connect");
      return;
    }
  }
  SetState(wsConnecting);
}

void TCustomWSocket::BindLocalAddress() {
  winsock::sockaddr_in local = {};
  local.sin_family = winsock::AF_INET;
  local.sin_port = WSocket_htons(LocalPortNumber);
  local.sin_addr.s_addr = WSocketResolveHost(FLocalAddr);
  if (WSocket_bind(SocketHandle, reinterpret_cast<const winsock::sockaddr*>(&local),
                   sizeof(local)) != 0) {
    RaiseOrReportFmt("winsock.bind failed, error #%d", WSocket_WSAGetLastError());
    return;
  }
  winsock::sockaddr_in bound = {};
  int len = sizeof(bound);
  if (WSocket_getsockname(SocketHandle, reinterpret_cast<winsock::sockaddr*>(&bound), &len) != 0) {
    RaiseOrReportFmt("winsock.getsockname failed, error #%d", WSocket_WSAGetLastError());
    return;
  }
  // After a bind to port 0 LocalPort shows the port Winsock chose.
  LocalPortNumber = WSocket_ntohs(bound.sin_port);
  FLocalPort = std::to_string(LocalPortNumber);
}

void TCustomWSocket::ApplyLinger() {
  if (FLingerOnOff == wsLingerNoSet) return;
  if (SocketHandle == winsock::INVALID_SOCKET) {
    RaiseOrReport("Cannot set linger option at this time");
    return;
  }
  winsock::linger l;
  l.l_onoff = static_cast<winsock::u_short>(FLingerOnOff);
  l.l_linger = static_cast<winsock::u_short>(FLingerTimeout & 0xFFFF);
  if (WSocket_setsockopt(SocketHandle, winsock::SOL_SOCKET, winsock::SO_LINGER,
                         reinterpret_cast<const char*>(&l), sizeof(l)) != 0)
    RaiseSocketError("setsockopt(SO_LINGER)");
}
