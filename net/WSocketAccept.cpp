// The server side and the ends of a connection: accepting on a listening
// object, adopting an accepted handle, and the peer and local names.
#include "net/WSocket.h"

#include "rtl/SysUtils.h"

winsock::SOCKET TCustomWSocket::Accept() {
  if (FState != wsListening) {
    WSocket_WSASetLastError(winsock::WSAEINVAL);
    RaiseSocketError("not a listening socket");
    return winsock::INVALID_SOCKET;
  }
  // The peer's address lands in this (listening) object's SockAddr.
  int len = sizeof(SockAddr);
  winsock::SOCKET h =
      WSocket_accept(SocketHandle, reinterpret_cast<winsock::sockaddr*>(&SockAddr), &len);
  LastAcceptedHandle = h;
  if (h == winsock::INVALID_SOCKET) {
    RaiseSocketError("Accept");
    return winsock::INVALID_SOCKET;
  }
  return h;
}

void TCustomWSocket::Dup(winsock::SOCKET NewHandle) {
  if (NewHandle == 0 || NewHandle == winsock::INVALID_SOCKET) {
    WSocket_WSASetLastError(winsock::WSAEINVAL);
    RaiseSocketError("Dup");
    return;
  }
  TAliveGuard guard(this);
  if (FState != wsClosed) {
    int r = WSocket_closesocket(SocketHandle);
    SocketHandle = winsock::INVALID_SOCKET;
    if (r != 0) {
      RaiseSocketError("Dup (closesocket)");
      return;
    }
    SetState(wsClosed);
    if (guard.Destroyed()) return;
  }
  // Bytes queued for the old connection must not go out on the adopted one.
  DiscardSendQueue();
  SendQueueDrained = true;
  SocketHandle = NewHandle;

  // A number that is no socket at all was never ours: forget it rather than
  // keep it, so that nothing later closes a descriptor someone else owns.
  auto forgetIfNoSocket = [&] {
    if (!guard.Destroyed() && SocketHandle == NewHandle &&
        WSocket_WSAGetLastError() == winsock::WSAENOTSOCK)
      SocketHandle = winsock::INVALID_SOCKET;
  };
  try {
    ApplyLinger();
  } catch (...) {
    forgetIfNoSocket();
    throw;
  }
  if (guard.Destroyed()) return;

  SelectEvents = winsock::FD_READ | winsock::FD_WRITE | winsock::FD_CONNECT | winsock::FD_CLOSE;
  if (WSocket_WSAAsyncSelect(SocketHandle, HiddenWindow, WM_SOCKET_EVENT,
                             static_cast<long>(SelectEvents)) != 0) {
    forgetIfNoSocket();
    RaiseSocketError("WSAAsyncSelect");
    return;
  }
  SetState(wsConnected);
}

int32_t TCustomWSocket::GetPeerName(winsock::sockaddr_in& Name, int32_t NameLen) {
  if (FState != wsConnected) return -1;
  int len = NameLen;  // the length Winsock writes back is not passed on
  return WSocket_getpeername(SocketHandle, reinterpret_cast<winsock::sockaddr*>(&Name), &len);
}

int32_t TCustomWSocket::GetLocalSockAddr(winsock::sockaddr_in& Name, int32_t& NameLen) {
  int len = NameLen;
  int32_t r = WSocket_getsockname(SocketHandle, reinterpret_cast<winsock::sockaddr*>(&Name), &len);
  NameLen = len;
  return r;
}

namespace {

// getpeername on a connected object; a failure is reported under FuncName.
bool QueryPeer(TCustomWSocket& Socket, winsock::sockaddr_in& Name, const char* FuncName) {
  if (Socket.State() != wsConnected) return false;
  int len = sizeof(Name);
  if (WSocket_getpeername(Socket.SocketHandle, reinterpret_cast<winsock::sockaddr*>(&Name), &len) ==
      0)
    return true;
  Socket.RaiseSocketError(FuncName);
  return false;
}

}  // namespace

std::string TCustomWSocket::PeerAddr() {
  winsock::sockaddr_in name = {};
  return QueryPeer(*this, name, "GetPeerName") ? WSocket_inet_ntoa(name.sin_addr) : "error";
}

std::string TCustomWSocket::PeerPort() {
  winsock::sockaddr_in name = {};
  return QueryPeer(*this, name, "GetPeerPort") ? IntToStr(WSocket_ntohs(name.sin_port)) : "error";
}
