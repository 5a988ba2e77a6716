// Stream connections: connecting, binding the local end, linger, accepting,
// adopting an accepted handle and the peer-name queries.
#include "net/WSocket.h"

void TCustomWSocket::Connect() { RaiseOrReport("Connect is not implemented yet"); }

void TCustomWSocket::BindLocalAddress() { RaiseOrReport("BindLocalAddress is not implemented yet"); }

void TCustomWSocket::ApplyLinger() {
  if (FLingerOnOff == wsLingerNoSet) return;
  if (SocketHandle == winsock::INVALID_SOCKET) {
    RaiseOrReport("Cannot set linger option at this time");
    return;
  }
  winsock::linger l;
  l.l_onoff = static_cast<winsock::u_short>(FLingerOnOff);
  l.l_linger = static_cast<winsock::u_short>(FLingerTimeout & 0xFFFF);
  if (WSocket_setsockopt(SocketHandle, winsock::SOL_SOCKET, winsock::SO_LINGER, reinterpret_cast<const char*>(&l),
                         sizeof(l)) != 0)
    RaiseSocketError("setsockopt(SO_LINGER)");
}

winsock::SOCKET TCustomWSocket::Accept() {
  RaiseOrReport("Accept is not implemented yet");
  return winsock::INVALID_SOCKET;
}

void TCustomWSocket::Dup(winsock::SOCKET /*NewHandle*/) { RaiseOrReport("Dup is not implemented yet"); }

int32_t TCustomWSocket::GetPeerName(winsock::sockaddr_in& /*Name*/, int32_t /*NameLen*/) { return -1; }

int32_t TCustomWSocket::GetLocalSockAddr(winsock::sockaddr_in& Name, int32_t& NameLen) {
  int len = NameLen;
  int32_t r = WSocket_getsockname(SocketHandle, reinterpret_cast<winsock::sockaddr*>(&Name), &len);
  NameLen = len;
  return r;
}

std::string TCustomWSocket::PeerAddr() { return "error"; }

std::string TCustomWSocket::PeerPort() { return "error"; }
