// Asynchronous host-name lookups: started here, completed by a message to the
// hidden window. At most one lookup is pending per object.
#include <cstring>

#include "net/WSocket.h"
#include "net/WSocketUnit.h"

namespace {
constexpr int kHostEntryBufferSize = 1025;
}

void TCustomWSocket::DnsLookup(const std::string& HostName) {
  if (HostName.empty()) {
    RaiseOrReport("DNS lookup: invalid host name.");
    FireDnsLookupDone(winsock::WSAEINVAL);
    return;
  }
  if (LookupHandle != 0) {
    WSocket_WSACancelAsyncRequest(LookupHandle);  // the cancelled one gets no event
    LookupHandle = 0;
  }
  FDnsResult.clear();
  FDnsResultList.Clear();

  // Answered at once; 255.255.255.255 converts to INADDR_NONE and is looked up.
  winsock::in_addr addr;
  addr.s_addr = WSocketDottedAddress(HostName);
  if (addr.s_addr != winsock::INADDR_NONE) {
    FDnsResult = WSocket_inet_ntoa(addr);
    FDnsResultList.Add(FDnsResult);
    FireDnsLookupDone(0);
    return;
  }
  if (!HiddenWindow) RaiseOrReport("DnsLookup: Window not assigned");
  EarlyLookupDone = false;
  LookupHandle =
      WSocket_WSAAsyncGetHostByName(HiddenWindow, WM_SOCKET_HOSTBYNAME_DONE, HostName.c_str(),
                                    HostEntryBuffer, kHostEntryBufferSize);
  if (LookupHandle == 0) {
    RaiseOrReportFmt("%s: can't start DNS lookup, error #%d", HostName.c_str(),
                     WSocket_WSAGetLastError());
    return;
  }
  if (EarlyLookupDone) {
    EarlyLookupDone = false;
    HandleHostByNameDone(EarlyLookupMessage);
  }
}

void TCustomWSocket::ReverseDnsLookup(const std::string& HostAddr) {
  if (HostAddr.empty() || HostAddr.size() > 256) {
    RaiseOrReport("ReverseDnsLookup: Invalid host name.");
    FireDnsLookupDone(winsock::WSAEINVAL);
    return;
  }
  if (LookupHandle != 0) {
    WSocket_WSACancelAsyncRequest(LookupHandle);
    LookupHandle = 0;
  }
  FDnsResult.clear();
  FDnsResultList.Clear();
  // Read as a text buffer would hold it (up to a zero byte). Anything but a
  // dotted address is looked up as 255.255.255.255.
  winsock::u_long addr = WSocketDottedAddress(HostAddr.c_str());
  if (!HiddenWindow) RaiseOrReport("ReverseDnsLookup: Window not assigned");
  LookupHandle = WSocket_WSAAsyncGetHostByAddr(
      HiddenWindow, WM_SOCKET_HOSTBYADDR_DONE, reinterpret_cast<const char*>(&addr), sizeof(addr),
      winsock::PF_INET, HostEntryBuffer, kHostEntryBufferSize);
  if (LookupHandle == 0)
    RaiseOrReportFmt("%s: can't start DNS lookup, error #%d", HostAddr.c_str(),
                     WSocket_WSAGetLastError());
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

void TCustomWSocket::HandleHostByNameDone(TWSocketMessage& Msg) {
  if (LookupHandle == 0) {
    // Completed before WSAAsyncGetHostByName returned its handle: kept for replay.
    EarlyLookupMessage = Msg;
    EarlyLookupDone = true;
    return;
  }
  if (static_cast<winsock::HANDLE>(Msg.WParam) != LookupHandle) return;  // stale
  LookupHandle = 0;
  auto error = static_cast<uint16_t>(winsock::WSAGETASYNCERROR(Msg.LParam));
  if (error == 0) {
    CopyHostAddresses(reinterpret_cast<const winsock::hostent*>(HostEntryBuffer), FDnsResultList);
    if (FDnsResultList.Count() > 0) FDnsResult = FDnsResultList[0];
  }
  FireDnsLookupDone(error);
}

void TCustomWSocket::HandleHostByAddrDone(TWSocketMessage& Msg) {
  if (LookupHandle == 0 || static_cast<winsock::HANDLE>(Msg.WParam) != LookupHandle) return;
  LookupHandle = 0;
  auto error = static_cast<uint16_t>(winsock::WSAGETASYNCERROR(Msg.LParam));
  if (error == 0) {
    const auto* entry = reinterpret_cast<const winsock::hostent*>(HostEntryBuffer);
    FDnsResult = entry->h_name ? entry->h_name : "";
    FDnsResultList.Clear();
    FDnsResultList.Add(FDnsResult);
  }
  FireDnsLookupDone(error);
}
