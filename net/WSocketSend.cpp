// Sending: the send queue of fixed-size blocks, the Winsock send call, the
// immediate datagram send, the blocking flush and the urgent-data setting.
//
// Send never blocks: bytes are copied once into the queue, and Winsock is fed
// from there, at most one block per call, until it would block; the rest goes
// out on the next FD_WRITE notification.
#include "net/WSocket.h"

namespace {

// Winsock codes after which the connection is gone for good.
bool ConnectionGone(int Code) {
  switch (Code) {
    case winsock::WSAECONNRESET:
    case winsock::WSAENOTSOCK:
    case winsock::WSAENOTCONN:
    case winsock::WSAEINVAL:
    case winsock::WSAECONNABORTED:
      return true;
    default:
      return false;
  }
}

}  // namespace

void TCustomWSocket::DiscardSendQueue() {
  for (TBuffer* block : SendQueue) delete block;
  SendQueue.clear();
}

void TCustomWSocket::QueueSendData(const void* Data, int32_t Len) {
  if (Len <= 0) return;
  auto* bytes = static_cast<const uint8_t*>(Data);
  if (SendQueue.empty()) SendQueue.push_back(new TBuffer(SendBlockSize));
  TBuffer* target = SendQueue.back();
  for (;;) {
    int32_t n = target->Append(bytes, Len);
    if (n >= Len) return;
    Len -= n;
    bytes += n;
    target = new TBuffer(SendBlockSize);
    SendQueue.push_back(target);
  }
}

void TCustomWSocket::TryToSend() {
  if (SocketHandle == winsock::INVALID_SOCKET || SendQueue.empty()) return;
  TAliveGuard guard(this);
  const winsock::SOCKET handle = SocketHandle;
  for (;;) {
    TBuffer* block = SendQueue.front();
    int32_t len = 0;
    const uint8_t* data = block->PendingData(len);
    if (len == 0) {
      if (SendQueue.size() == 1) {
        SendQueueDrained = true;  // the lone block stays for reuse
        return;
      }
      delete block;
      SendQueue.pop_front();
      continue;
    }
    int32_t sent = RawSend(data, len);
    // An OnSendData handler may have destroyed, closed or reopened the object.
    if (guard.Destroyed() || SocketHandle != handle) return;
    if (sent == 0) return;
    if (sent == winsock::SOCKET_ERROR) {
      int code = WSocket_WSAGetLastError();
      if (ConnectionGone(code)) {
        // Close must not report the end itself: the report carries the code.
        CloseNotified = true;
        Close();
        if (guard.Destroyed()) return;
        FireSessionClosed(static_cast<uint16_t>(code));
        return;
      }
      if (code == winsock::WSAEWOULDBLOCK) return;  // the next FD_WRITE resumes
      RaiseSocketError("TryToSend failed");
      return;
    }
    // The OnSendData handler may have discarded the queue (Abort).
    if (SendQueue.empty() || SendQueue.front() != block) return;
    // After a short send, try the rest at once rather than wait for FD_WRITE:
    // Winsock re-enables FD_WRITE only after a send that would block, so a
    // wait here could last for ever. The next call takes more or would block.
    block->Consume(sent);
  }
}

int32_t TCustomWSocket::RawSend(const void* Data, int32_t Len) {
  int32_t sent;
  if (SocketType == winsock::SOCK_DGRAM)
    sent = WSocket_sendto(SocketHandle, static_cast<const char*>(Data), Len,
                          static_cast<int>(SendFlagBits),
                          reinterpret_cast<const winsock::sockaddr*>(&SockAddr), sizeof(SockAddr));
  else
    sent = WSocket_send(SocketHandle, static_cast<const char*>(Data), Len,
                        static_cast<int>(SendFlagBits));
  if (sent > 0) FireSendData(sent);
  return sent;
}

int32_t TCustomWSocket::Send(const void* Data, int32_t Len) {
  if (FState != wsConnected) {
    WSocket_WSASetLastError(winsock::WSAENOTCONN);
    RaiseSocketError("Send");
    return -1;
  }
  SendQueueDrained = false;
  int32_t result = 0;
  if (Len > 0) {
    QueueSendData(Data, Len);
    result = Len;
  }
  TAliveGuard guard(this);
  TryToSend();
  if (guard.Destroyed()) return result;
  // OnDataSent comes from the FD_WRITE branch, after this call has returned. A
  // send that closed the connection has nothing left to report as sent.
  if (SendQueueDrained && SocketHandle != winsock::INVALID_SOCKET)
    win32::PostMessageA(HiddenWindow, WM_SOCKET_EVENT, static_cast<win32::WPARAM>(SocketHandle),
                        winsock::WSAMAKESELECTREPLY(winsock::FD_WRITE, 0));
  return result;
}

int32_t TCustomWSocket::SendText(const std::string& Str) {
  if (Str.empty()) return 0;
  return Send(Str.data(), static_cast<int32_t>(Str.size()));
}

int32_t TCustomWSocket::SendToAddress(const winsock::sockaddr_in& Dest, int32_t DestLen,
                                      const void* Data, int32_t Len) {
  winsock::sockaddr_in to = Dest;
  int32_t sent = WSocket_sendto(SocketHandle, static_cast<const char*>(Data), Len,
                                static_cast<int>(SendFlagBits),
                                reinterpret_cast<const winsock::sockaddr*>(&to), DestLen);
  if (sent > 0) FireSendData(sent);
  return sent;
}

void TCustomWSocket::FlushSendQueue() {
  TAliveGuard guard(this);
  while (SocketHandle != winsock::INVALID_SOCKET && !SendQueueDrained) {
    // A send of nothing before any block existed leaves the flag false with
    // nothing to send: there is nothing to wait for.
    if (SendQueue.empty()) return;
    TryToSend();
    if (guard.Destroyed()) return;
    if (SocketHandle == winsock::INVALID_SOCKET || SendQueueDrained) break;
    PumpMessages();
    if (guard.Destroyed()) return;
    if (SocketHandle == winsock::INVALID_SOCKET || SendQueueDrained) break;
    // Winsock would block: sleep until a notification (FD_WRITE) arrives instead
    // of spinning; the bound keeps other work of the loop going.
    win32::WaitForQueue(100);
  }
}

void TCustomWSocket::FireSendData(int32_t BytesSent) {
  if (OnSendData) OnSendData(this, BytesSent);
}

TSocketSendFlags TCustomWSocket::SendFlags() {
  switch (SendFlagBits) {
    case 0:
      return wsSendNormal;
    case winsock::MSG_OOB:
      return wsSendUrgent;
    default:
      RaiseOrReport("Invalid internal SendFlags");
      return wsSendNormal;
  }
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags value) {
  switch (value) {
    case wsSendNormal:
      SendFlagBits = 0;
      break;
    case wsSendUrgent:
      SendFlagBits = winsock::MSG_OOB;
      break;
    default:
      RaiseOrReport("Invalid SendFlags");
  }
}
