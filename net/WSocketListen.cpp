// Listen: open, bind and start receiving (datagram) or listening (stream), and
// the texts of the bound local end.
#include "net/WSocket.h"

#include "rtl/Application.h"
#include "rtl/SysUtils.h"

namespace {

// Closes a handle that a failed step leaves behind, keeping the step's own error code.
void CloseKeepingError(winsock::SOCKET& Handle) {
  int code = WSocket_WSAGetLastError();
  WSocket_closesocket(Handle);
  Handle = winsock::INVALID_SOCKET;
  WSocket_WSASetLastError(code);
}

}  // namespace

void TCustomWSocket::Listen() {
  // Listening again on an open socket would orphan its handle.
  if (SocketHandle != winsock::INVALID_SOCKET && FState != wsClosed) {
    RaiseOrReport("Listen: Socket already in use");
    return;
  }
  if (!PortAssigned) {
    WSocket_WSASetLastError(winsock::WSAEINVAL);
    RaiseSocketError("listen: port not assigned");
    return;
  }
  if (!ProtoAssigned) {
    WSocket_WSASetLastError(winsock::WSAEINVAL);
    RaiseSocketError("listen: protocol not assigned");
    return;
  }
  if (!AddrAssigned) {
    WSocket_WSASetLastError(winsock::WSAEINVAL);
    RaiseSocketError("listen: address not assigned");
    return;
  }

  try {
    if (!ProtoResolved) {
      ProtoNumber = WSocketResolveProto(FProto);
      SocketType = ProtoNumber == winsock::IPPROTO_UDP ? winsock::SOCK_DGRAM : winsock::SOCK_STREAM;
      ProtoResolved = true;
    }
    if (!PortResolved) {
      PortNumber = WSocketResolvePort(FPort, FProto);
      SockAddr.sin_port = WSocket_htons(PortNumber);
      PortResolved = true;
    }
    if (!AddrResolved) {
      SockAddr.sin_addr.s_addr = WSocketResolveHost(FAddr);
      AddrResolved = true;
    }
  } catch (const std::exception& E) {
    RaiseOrReport("listen: " + ExceptionMessage(E));
    return;
  }

  DiscardSendQueue();
  SocketHandle = WSocket_socket(AddrFamily, SocketType, ProtoNumber);
  if (SocketHandle == winsock::INVALID_SOCKET) {
    RaiseSocketError("socket");
    return;
  }
  const winsock::SOCKET handle = SocketHandle;

  if (SocketType == winsock::SOCK_DGRAM && FReuseAddr) {
    int32_t on = -1;
    if (winsock::setsockopt(SocketHandle, winsock::SOL_SOCKET, winsock::SO_REUSEADDR,
                            reinterpret_cast<char*>(&on), sizeof(on)) != 0) {
      // The handle is released: with State still wsClosed, Close could not.
      CloseKeepingError(SocketHandle);
      RaiseSocketError("setsockopt(SO_REUSEADDR)");
      return;
    }
  }

  if (WSocket_bind(SocketHandle, reinterpret_cast<const winsock::sockaddr*>(&SockAddr),
                   sizeof(SockAddr)) != 0) {
    CloseKeepingError(SocketHandle);
    RaiseSocketError("Bind");
    return;
  }

  // A handler that closes or destroys the object ends the listen quietly.
  TAliveGuard guard(this);
  auto interrupted = [&] { return guard.Destroyed() || SocketHandle != handle; };

  SetState(wsBound);
  if (interrupted()) return;

  if (SocketType == winsock::SOCK_DGRAM && FMultiCast) {
    winsock::ip_mreq request;
    if (FMultiCastAddrStr.size() > 256) {
      WSocket_WSASetLastError(winsock::WSAEINVAL);
      RaiseSocketError("setsockopt(IP MULTICAST)");
      return;
    }
    request.imr_multiaddr.s_addr = winsock::inet_addr(FMultiCastAddrStr.c_str());
    // The interface is the bind address, resolved above.
    request.imr_interface.s_addr = SockAddr.sin_addr.s_addr;
    if (winsock::setsockopt(SocketHandle, winsock::IPPROTO_IP, winsock::IP_ADD_MEMBERSHIP,
                            reinterpret_cast<char*>(&request), sizeof(request)) != 0) {
      RaiseSocketError("setsockopt(IP MULTICAST)");
      return;
    }
  }

  switch (SocketType) {
    case winsock::SOCK_STREAM:
      if (WSocket_listen(SocketHandle, winsock::SOMAXCONN) != 0) {
        RaiseSocketError("Listen");
        return;
      }
      SetState(wsListening);
      if (interrupted()) return;
      break;
    case winsock::SOCK_DGRAM:
    case winsock::SOCK_RAW:
      SetState(wsListening);
      if (interrupted()) return;
      SetState(wsConnected);
      if (interrupted()) return;
      FireSessionConnected(0);
      if (interrupted()) return;
      break;
    default:
      RaiseSocketError("Listen: unexpected protocol.");
      return;
  }

  SelectEvents = winsock::FD_READ | winsock::FD_WRITE | winsock::FD_ACCEPT | winsock::FD_CLOSE;
  if (WSocket_WSAAsyncSelect(SocketHandle, HiddenWindow, WM_SOCKET_EVENT,
                             static_cast<long>(SelectEvents)) != 0)
    RaiseSocketError("WSAASyncSelect");
}

namespace {
bool HasLocalName(TSocketState State) {
  return State == wsBound || State == wsConnected || State == wsListening;
}
}  // namespace

std::string TCustomWSocket::BoundPortText() {
  if (!HasLocalName(FState)) return "error";
  winsock::sockaddr_in name = {};
  int len = sizeof(name);
  if (WSocket_getsockname(SocketHandle, reinterpret_cast<winsock::sockaddr*>(&name), &len) != 0)
    return "error";
  return Format("%d", static_cast<int>(WSocket_ntohs(name.sin_port)));
}

std::string TCustomWSocket::BoundAddrText() {
  if (!HasLocalName(FState)) return "error";
  winsock::sockaddr_in name = {};
  int len = sizeof(name);
  if (WSocket_getsockname(SocketHandle, reinterpret_cast<winsock::sockaddr*>(&name), &len) != 0)
    return "error";
  return WSocket_inet_ntoa(name.sin_addr);
}
