// The SOCKS layer's settings and pass-throughs: properties, defaults, Connect
// and Listen, and the bytes that followed a proxy's reply. The negotiation
// itself is in WSocketSocksNegotiation.cpp.
#include <cstring>

#include "net/WSocket.h"
#include "rtl/Application.h"
#include "rtl/SysUtils.h"

TCustomSocksWSocket::TCustomSocksWSocket(TComponent* AOwner) : TCustomWSocket(AOwner) {}

void TCustomSocksWSocket::ResetToDefaults() {
  TCustomWSocket::ResetToDefaults();
  SocksPhase = spIdle;
  FSocksServer.clear();
  FSocksPort.clear();
  FSocksLevel = "5";
  SurplusCount = 0;
  SocksServerSet = false;
  StopSocksTimer();
}

int32_t TCustomSocksWSocket::RcvdCount() {
  if (SurplusCount > 0) return SurplusCount;
  return TCustomWSocket::RcvdCount();
}

int32_t TCustomSocksWSocket::RawReceive(void* Buffer, int32_t Size, int32_t Flags) {
  if (SurplusCount <= 0) return TCustomWSocket::RawReceive(Buffer, Size, Flags);
  // Surplus bytes come first, and one call never mixes them with socket bytes.
  int32_t n = Size >= SurplusCount ? SurplusCount : (Size > 0 ? Size : 0);
  std::memcpy(Buffer, ReplyBuffer + SurplusPos, static_cast<size_t>(n));
  SurplusPos += n;
  SurplusCount -= n;
  return n;
}

void TCustomSocksWSocket::Connect() {
  if (!SocksServerSet) {
    TCustomWSocket::Connect();
    return;
  }
  // A second Connect on an open object must not touch the running session:
  // the base class refuses it before anything here changes.
  if (SocketHandle != winsock::INVALID_SOCKET && FState != wsClosed) {
    TCustomWSocket::Connect();
    return;
  }
  if (LowerCase(FProto) != "tcp") {
    RaiseOrReport("tcp is the only protocol supported thru socks server");
    return;
  }
  // Values the requests cannot carry are refused before anything is sent.
  std::string problem = SocksRequestProblem(FSocksAuthentication == socksAuthenticateUsercode);
  if (!problem.empty()) {
    RaiseOrReport("Connect: " + problem);
    return;
  }
  try {
    if (!PortResolved) {
      SockAddr.sin_port = WSocket_htons(WSocketResolvePort(FSocksPort, FProto));
      PortResolved = true;
    }
    if (!AddrResolved) {
      SockAddr.sin_addr.s_addr = WSocketResolveHost(FSocksServer);
      AddrResolved = true;
    }
    PortNumber = WSocketResolvePort(FPort, FProto);  // the target's, for the request
  } catch (const std::exception& E) {
    RaiseOrReport("connect: " + ExceptionMessage(E));
    return;
  }
  SocksPhase = spGreeting;
  ReplyCount = 0;
  // When the base Connect stops before a handle is open, the proxy's address
  // must not stay behind as the resolved target of a later direct Connect.
  auto undo = [this] {
    if (FState != wsClosed) return;
    SocksPhase = spIdle;
    PortResolved = AddrResolved = false;
  };
  try {
    TCustomWSocket::Connect();
  } catch (...) {
    undo();
    throw;
  }
  undo();
}

void TCustomSocksWSocket::Listen() {
  if (SocksServerSet) {
    RaiseOrReport("Listening is not supported thru socks server");
    return;
  }
  TCustomWSocket::Listen();
}

std::string TCustomSocksWSocket::SocksRequestProblem(bool WithAuth) const {
  using sockswire::FieldProblem;
  std::string problem;
  if (SocksLevel4()) {
    problem = FieldProblem("socks user code", FSocksUsercode, true);
    if (problem.empty() && FSocksLevel == "4A") problem = FieldProblem("host name", FAddr, true);
    return problem;
  }
  problem = FieldProblem("host name", FAddr, false);
  if (problem.empty() && WithAuth) problem = FieldProblem("socks user code", FSocksUsercode, false);
  if (problem.empty() && WithAuth) problem = FieldProblem("socks password", FSocksPassword, false);
  return problem;
}

void TCustomSocksWSocket::FireSocksConnected(uint16_t Error) {
  if (OnSocksConnected) OnSocksConnected(this, Error);
}

void TCustomSocksWSocket::FireSocksError(int32_t Error, const std::string& Msg) {
  if (OnSocksError) OnSocksError(this, Error, Msg);
}

void TCustomSocksWSocket::FireSocksAuthState(TSocksAuthState AuthState) {
  if (OnSocksAuthState) OnSocksAuthState(this, AuthState);
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& value) {
  if (FState != wsClosed) {
    RaiseOrReport("Can't change socks level if not closed");
    return;
  }
  if (value != "4" && value != "5" && value != "4A" && value != "4a") {
    RaiseOrReport("Invalid socks level. Must be 4, 4A or 5.");
    return;
  }
  FSocksLevel = UpperCase(value);
}

void TCustomSocksWSocket::SetSocksServer(const std::string& value) {
  if (FState != wsClosed) {
    RaiseOrReport("Can't change socks server if not closed");
    return;
  }
  FSocksServer = Trim(value);
  SocksServerSet = !FSocksServer.empty();
}

void TCustomSocksWSocket::SetSocksPort(const std::string& value) {
  if (FState != wsClosed) {
    RaiseOrReport("Can't change socks port if not closed");
    return;
  }
  FSocksPort = Trim(value);
}
