// Socket notifications and receiving: the WM_SOCKET_EVENT handler, the receive
// loop, and the receive operations. This is the per-datagram path: it allocates
// nothing but the text that ReceiveText returns.
#include "net/WSocket.h"

void TCustomWSocket::HandleSocketEvent(TWSocketMessage& Msg) {
  if (Msg.WParam != SocketHandle || Paused) return;
  const unsigned events = winsock::WSAGETSELECTEVENT(Msg.LParam);
  const auto error = static_cast<uint16_t>(winsock::WSAGETSELECTERROR(Msg.LParam));
  const winsock::SOCKET handle = SocketHandle;
  TAliveGuard guard(this);
  // The bits of one notification belong to this handle; once a handler has
  // closed or replaced it, the rest of them are stale.
  auto stale = [&] { return guard.Destroyed() || SocketHandle != handle; };

  if ((events & winsock::FD_CONNECT) && FState != wsConnected) {
    SetState(wsConnected);
    if (stale()) return;
    FireSessionConnected(error);
    if (stale()) return;
    if (error != 0 && FState != wsClosed) {
      Close();
      return;
    }
  }
  if (events & winsock::FD_READ) {
    if (FState != wsConnected) {
      SetState(wsConnected);
      if (stale()) return;
      FireSessionConnected(error);
      if (stale()) return;
    }
    DeliverReceivedData(error, FComponentOptions);
    if (stale()) return;
  }
  if (events & winsock::FD_WRITE) {
    TryToSend();
    if (stale()) return;
    if (SendQueueDrained) FireDataSent(error);
    if (stale()) return;
  }
  if (events & winsock::FD_ACCEPT) {
    FireSessionAvailable(error);
    if (stale()) return;
  }
  if ((events & winsock::FD_CLOSE) && FState != wsConnecting) {
    DeliverReceivedData(0, FComponentOptions - wsoNoReceiveLoop);
    if (stale()) return;
    if (!CloseNotified) {
      CloseNotified = true;
      FireSessionClosed(error);
      if (stale()) return;
    }
    if (FState != wsClosed) Close();
  }
}

void TCustomWSocket::DeliverReceivedData(uint16_t Error, TWSocketOptions Options) {
  TAliveGuard guard(this);
  for (;;) {
    FLastError = 0;
    try {
      if (!FireDataAvailable(Error)) {
        if (guard.Destroyed()) return;
        // Nobody takes the data: read it and drop it.
        char junk[1024];
        if (RawReceive(junk, sizeof(junk), 0) == winsock::SOCKET_ERROR) {
          FLastError = WSocket_WSAGetLastError();
          if (FLastError == winsock::WSAEWOULDBLOCK) {
            FLastError = 0;
            break;
          }
        }
      }
      if (guard.Destroyed()) return;
      if (Options.Contains(wsoNoReceiveLoop)) break;
      if (FLastError != 0) break;
      // The handler closed the socket: nothing is left to deliver.
      if (SocketHandle == winsock::INVALID_SOCKET) break;
      winsock::u_long pending = 0;
      if (WSocket_ioctlsocket(SocketHandle, winsock::FIONREAD, &pending) != 0) {
        FLastError = WSocket_WSAGetLastError();
        break;
      }
      if (pending == 0) break;
    } catch (...) {
      // A failing data handler must not stop the socket: the exception is dropped.
      break;
    }
  }
}

int32_t TCustomWSocket::RawReceive(void* Buffer, int32_t Size, int32_t Flags) {
  return WSocket_recv(SocketHandle, static_cast<char*>(Buffer), Size, Flags);
}

int32_t TCustomWSocket::RawReceiveFrom(winsock::SOCKET Handle, void* Buffer, int32_t Size,
                                       int32_t Flags, winsock::sockaddr_in& From,
                                       int32_t& FromLength) {
  int len = FromLength;
  int32_t n = WSocket_recvfrom(Handle, static_cast<char*>(Buffer), Size, Flags,
                               reinterpret_cast<winsock::sockaddr*>(&From), &len);
  FromLength = len;
  return n;
}

int32_t TCustomWSocket::Receive(void* Buffer, int32_t Size) {
  int32_t n = RawReceive(Buffer, Size, 0);
  if (n < 0)
    FLastError = WSocket_WSAGetLastError();
  else
    FReadCount += n;
  return n;
}

int32_t TCustomWSocket::ReceiveFrom(void* Buffer, int32_t Size, winsock::sockaddr_in& From,
                                    int32_t& FromLength) {
  int32_t n = RawReceiveFrom(SocketHandle, Buffer, Size, 0, From, FromLength);
  if (n < 0)
    FLastError = WSocket_WSAGetLastError();
  else
    FReadCount += n;
  return n;
}

int32_t TCustomWSocket::RcvdCount() {
  winsock::u_long n = 0;
  if (WSocket_ioctlsocket(SocketHandle, winsock::FIONREAD, &n) != 0) {
    RaiseSocketError("ioctlSocket");
    return -1;
  }
  return static_cast<int32_t>(n);
}

std::string TCustomWSocket::ReceiveText() {
  int32_t n = RcvdCount();
  if (n < 0) return std::string();
  if (n == 0) n = 255;
  // A short datagram (the usual one) goes through the stack: the text is made
  // once, at its size, with no bytes cleared first.
  char small[256];
  if (n <= static_cast<int32_t>(sizeof small)) {
    const int32_t got = Receive(small, n);
    return got < 1 ? std::string() : std::string(small, static_cast<size_t>(got));
  }
  std::string text(static_cast<size_t>(n), '\0');
  int32_t m = Receive(&text[0], n);
  if (m < 1) return std::string();
  text.resize(static_cast<size_t>(m));
  return text;
}
