// Closing: the closing routine under Close and Abort, the drain loop, shutdown,
// and switching notifications off and on.
#include "net/WSocket.h"

void TCustomWSocket::Close() { CloseSession(true, 0); }

void TCustomWSocket::CloseSession(bool Shutdown, uint16_t Error) {
  TAliveGuard guard(this);
  if (SocketHandle == winsock::INVALID_SOCKET) {
    if (FState != wsClosed) {
      SetState(wsClosed);
      if (guard.Destroyed()) return;
      ResetToDefaults();
    }
    return;
  }
  if (FState == wsClosed) return;
  if (Shutdown) ShutdownSocket(winsock::SD_SEND);

  while (WSocket_closesocket(SocketHandle) != 0) {
    FLastError = WSocket_WSAGetLastError();
    if (FLastError == winsock::WSAEWOULDBLOCK) {
      // A lingering close: keep dispatching while the data drains, without spinning.
      PumpMessages();
      if (guard.Destroyed()) return;
      if (SocketHandle == winsock::INVALID_SOCKET) return;  // closed meanwhile by a handler
      win32::WaitForQueue(10);
      continue;
    }
    SocketHandle = winsock::INVALID_SOCKET;
    if (FLastError == winsock::WSANOTINITIALISED) break;
    RaiseSocketError("Disconnect (closesocket)");
    return;
  }
  SocketHandle = winsock::INVALID_SOCKET;
  SetState(wsClosed);
  if (guard.Destroyed()) return;
  if (!IsDestroying() && !CloseNotified) {
    CloseNotified = true;
    FireSessionClosed(Error);
    if (guard.Destroyed()) return;
  }
  try {
    ResetToDefaults();
  } catch (...) {
  }
}

void TCustomWSocket::Abort() {
  TAliveGuard guard(this);
  StopDnsLookup();
  if (guard.Destroyed()) return;
  DiscardSendQueue();
  if (FState == wsConnected && ProtoNumber == winsock::IPPROTO_TCP) {
    FLingerOnOff = wsLingerOff;
    ApplyLinger();
    if (guard.Destroyed()) return;
  }
  CloseSession(false, 0);
}

void TCustomWSocket::DrainUntilClosed() {
  TAliveGuard guard(this);
  while (SocketHandle != winsock::INVALID_SOCKET && FState != wsClosed) {
    PumpMessages();
    if (guard.Destroyed()) return;
    winsock::u_long pending = 0;
    if (WSocket_ioctlsocket(SocketHandle, winsock::FIONREAD, &pending) != 0) break;
    if (pending > 0) {
      FireDataAvailable(0);
      if (guard.Destroyed()) return;
    }
    char none;
    if (RawReceive(&none, 0, 0) <= 0) {
      FLastError = WSocket_WSAGetLastError();
      if (FLastError != winsock::WSAEWOULDBLOCK) break;
    }
    PumpMessages();
    if (guard.Destroyed()) return;
    // Nothing was pending: sleep until a notification comes instead of spinning.
    if (pending == 0) win32::WaitForQueue(100);
  }
}

void TCustomWSocket::ShutdownSocket(int32_t How) {
  if (SocketHandle != winsock::INVALID_SOCKET) WSocket_shutdown(SocketHandle, How);
}

void TCustomWSocket::SuspendEvents() {
  Paused = true;
  WSocket_WSAAsyncSelect(SocketHandle, HiddenWindow, 0, 0);
}

void TCustomWSocket::ResumeEvents() {
  Paused = false;
  WSocket_WSAAsyncSelect(SocketHandle, HiddenWindow, WM_SOCKET_EVENT,
                         static_cast<long>(SelectEvents));
}
