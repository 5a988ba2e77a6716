// Asynchronous host-name lookups. Only stopping a lookup is complete so far;
// starting one reports that it is not available yet.
#include "net/WSocket.h"

void TCustomWSocket::DnsLookup(const std::string& /*HostName*/) { RaiseOrReport("DnsLookup is not implemented yet"); }

void TCustomWSocket::ReverseDnsLookup(const std::string& /*HostAddr*/) {
  RaiseOrReport("ReverseDnsLookup is not implemented yet");
}

void TCustomWSocket::StopDnsLookup() {
  if (LookupHandle == 0) return;
  if (WSocket_WSACancelAsyncRequest(LookupHandle) != 0) {
    LookupHandle = 0;
    RaiseSocketError("WSACancelAsyncRequest");
    return;
  }
  LookupHandle = 0;
  if (!IsDestroying()) FireDnsLookupDone(winsock::WSAEINTR);
}

// No lookup can be pending yet, so every completion is stale.
void TCustomWSocket::HandleHostByNameDone(TWSocketMessage& /*Msg*/) {}

void TCustomWSocket::HandleHostByAddrDone(TWSocketMessage& /*Msg*/) {}
