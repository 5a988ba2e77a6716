// Sending: the send queue, the Winsock send call and the urgent-data setting.
#include "net/WSocket.h"

void TCustomWSocket::DiscardSendQueue() {
  for (TBuffer* block : SendQueue) delete block;
  SendQueue.clear();
}

void TCustomWSocket::QueueSendData(const void* /*Data*/, int32_t /*Len*/) {}

void TCustomWSocket::TryToSend() {
  if (SocketHandle == winsock::INVALID_SOCKET || SendQueue.empty()) return;
}

int32_t TCustomWSocket::RawSend(const void* Data, int32_t Len) {
  int32_t sent;
  if (SocketType == winsock::SOCK_DGRAM)
    sent = WSocket_sendto(SocketHandle, static_cast<const char*>(Data), Len, static_cast<int>(SendFlagBits),
                          reinterpret_cast<const winsock::sockaddr*>(&SockAddr), sizeof(SockAddr));
  else
    sent = WSocket_send(SocketHandle, static_cast<const char*>(Data), Len, static_cast<int>(SendFlagBits));
  if (sent > 0) FireSendData(sent);
  return sent;
}

int32_t TCustomWSocket::Send(const void* /*Data*/, int32_t /*Len*/) {
  RaiseOrReport("Send is not implemented yet");
  return -1;
}

int32_t TCustomWSocket::SendText(const std::string& Str) {
  if (Str.empty()) return 0;
  return Send(Str.data(), static_cast<int32_t>(Str.size()));
}

int32_t TCustomWSocket::SendToAddress(const winsock::sockaddr_in& Dest, int32_t DestLen, const void* Data,
                                      int32_t Len) {
  winsock::sockaddr_in to = Dest;
  int32_t sent = WSocket_sendto(SocketHandle, static_cast<const char*>(Data), Len, static_cast<int>(SendFlagBits),
                                reinterpret_cast<const winsock::sockaddr*>(&to), DestLen);
  if (sent > 0) FireSendData(sent);
  return sent;
}

void TCustomWSocket::FlushSendQueue() {}

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
