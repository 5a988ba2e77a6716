// The SOCKS negotiation, phase by phase, on the notifications of the connection
// to the proxy:
//   spGreeting        connected to the proxy; SOCKS5: greeting sent, the method
//                     selection awaited (SOCKS4/4A go straight to spRequesting)
//   spAuthenticating  user/password sent, its status awaited
//   spRequesting      connect request sent, the proxy's reply awaited
//   spIdle            no negotiation: data belongs to the application
// The bytes are built and judged by the pure functions of SocksWire.h.
#include "net/WSocket.h"

using sockswire::TReplyDecision;
using sockswire::TReplyKind;
using sockswire::TVerdict;

void TCustomSocksWSocket::FireSessionConnected(uint16_t Error) {
  if (SocksPhase != spGreeting) {
    TCustomWSocket::FireSessionConnected(Error);
    return;
  }
  TAliveGuard guard(this);
  const winsock::SOCKET handle = SocketHandle;
  FireSocksConnected(Error);
  if (guard.Destroyed() || SocketHandle != handle) return;
  if (Error != 0) {
    TCustomWSocket::FireSessionConnected(Error);  // the base class then closes
    return;
  }
  // A proxy that stops answering mid-way must not hold the connection for ever.
  // Setting the timer again restarts it, so an earlier negotiation's limit
  // cannot cut this one short.
  if (FSocksTimeout > 0)
    win32::SetTimer(HiddenWindow, SOCKS_TIMER_ID, static_cast<win32::UINT>(FSocksTimeout), nullptr);
  else
    StopSocksTimer();
  if (SocksLevel4()) {
    SendSocksConnectRequest();
    return;
  }
  OfferedMethod = FSocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
  const std::string greeting = sockswire::Socks5Greeting(OfferedMethod);
  Send(greeting.data(), static_cast<int32_t>(greeting.size()));
}

void TCustomSocksWSocket::HandleWindowMessage(TWSocketMessage& Msg) {
  if (Msg.Msg != win32::WM_TIMER || Msg.WParam != SOCKS_TIMER_ID) {
    TCustomWSocket::HandleWindowMessage(Msg);
    return;
  }
  StopSocksTimer();  // the limit is used once
  // A negotiation that already ended is not touched.
  if (SocksPhase == spIdle) return;
  TAliveGuard guard(this);
  try {
    FailSocksNegotiation(winsock::WSAETIMEDOUT, "socks negotiation timed out");
  } catch (Exception& E) {
    if (!guard.Destroyed()) HandleEventException(E);
  }
}

void TCustomSocksWSocket::StopSocksTimer() {
  if (HiddenWindow) win32::KillTimer(HiddenWindow, SOCKS_TIMER_ID);
}

void TCustomSocksWSocket::SendSocksBytes(const std::string& Bytes) {
  try {
    Send(Bytes.data(), static_cast<int32_t>(Bytes.size()));
  } catch (const std::exception&) {
    // The connection's end reports the failure; the phase stays where it is.
  }
}

void TCustomSocksWSocket::SendSocksAuthRequest() {
  SocksPhase = spAuthenticating;
  TAliveGuard guard(this);
  const winsock::SOCKET handle = SocketHandle;
  FireSocksAuthState(socksAuthBegun);
  if (guard.Destroyed() || SocketHandle != handle) return;
  // The proxy may ask for a sub-negotiation that was not offered; values that
  // cannot go out end it here, with nothing written past a field.
  std::string problem = SocksRequestProblem(true);
  if (!problem.empty()) {
    FailSocksNegotiation(winsock::WSAEINVAL, problem);
    return;
  }
  SendSocksBytes(sockswire::AuthRequest(FSocksUsercode, FSocksPassword));
}

void TCustomSocksWSocket::SendSocksConnectRequest() {
  SocksPhase = spRequesting;
  // A handler may have changed the values since Connect checked them.
  std::string problem = SocksRequestProblem(false);
  if (!problem.empty()) {
    FailSocksNegotiation(winsock::WSAEINVAL, problem);
    return;
  }
  std::string request;
  if (FSocksLevel == "4A") {
    request = sockswire::Socks4aRequest(PortNumber, FSocksUsercode, FAddr);
  } else if (SocksLevel4()) {
    uint32_t target = 0;
    try {
      target = WSocketResolveHost(FAddr);
    } catch (const Exception& E) {
      TAliveGuard guard(this);
      const winsock::SOCKET handle = SocketHandle;
      FireSocksError(20017, E.ClassName() + " " + E.Message());
      if (guard.Destroyed() || SocketHandle != handle) return;
      CloseSession(true, 20017);
      return;
    }
    request = sockswire::Socks4Request(PortNumber, target, FSocksUsercode);
  } else {
    request = sockswire::Socks5ConnectRequest(FAddr, PortNumber);
  }
  SendSocksBytes(request);
}

void TCustomSocksWSocket::FailSocksNegotiation(int32_t Error, const std::string& Msg) {
  TAliveGuard guard(this);
  const winsock::SOCKET handle = SocketHandle;
  FireSocksError(Error, Msg);
  if (guard.Destroyed() || SocketHandle != handle) return;
  SocksPhase = spIdle;
  StopSocksTimer();
  FireSessionConnected(static_cast<uint16_t>(Error));
  if (guard.Destroyed() || SocketHandle != handle) return;
  CloseSession(true, static_cast<uint16_t>(Error));
}

bool TCustomSocksWSocket::FireDataAvailable(uint16_t Error) {
  if (SocksPhase == spIdle) return TCustomWSocket::FireDataAvailable(Error);
  if (Error != 0) {
    FailSocksNegotiation(Error, "data receive error");
    return false;
  }
  TReplyKind kind;
  switch (SocksPhase) {
    case spGreeting:
      kind = TReplyKind::MethodSelection;
      break;
    case spAuthenticating:
      kind = TReplyKind::AuthStatus;
      break;
    case spRequesting:
      kind = SocksLevel4() ? TReplyKind::Socks4Connect : TReplyKind::Socks5Connect;
      break;
    default:
      FailSocksNegotiation(20013, "internal error");
      return false;
  }
  int32_t n = Receive(ReplyBuffer + ReplyCount, sockswire::ReplyReadLimit(kind, ReplyCount));
  if (n < 0) return true;
  ReplyCount += n;
  if (SocksPhase == spGreeting && SocksLevel4()) {
    FailSocksNegotiation(20001, "TWSocket logic error");
    return true;
  }
  const TReplyDecision reply = sockswire::JudgeReply(kind, ReplyBuffer, ReplyCount);
  const int32_t held = ReplyCount;
  if (reply.Verdict != TVerdict::NeedMore) ReplyCount = 0;
  switch (reply.Verdict) {
    case TVerdict::NeedMore:
      break;
    case TVerdict::Fail:
      FailSocksNegotiation(reply.Error, reply.Msg);
      break;
    case TVerdict::Method:
      if (reply.Method == 2) {
        SendSocksAuthRequest();
      } else {
        if (OfferedMethod != 0) {
          TAliveGuard guard(this);
          const winsock::SOCKET handle = SocketHandle;
          FireSocksAuthState(socksAuthNotNeeded);
          if (guard.Destroyed() || SocketHandle != handle) return true;
        }
        SendSocksConnectRequest();
      }
      break;
    case TVerdict::AuthOk: {
      TAliveGuard guard(this);
      const winsock::SOCKET handle = SocketHandle;
      FireSocksAuthState(socksAuthSucceeded);
      if (guard.Destroyed() || SocketHandle != handle) return true;
      SendSocksConnectRequest();
      break;
    }
    case TVerdict::Granted:
      return SocksGranted(reply, held);
  }
  return true;
}

bool TCustomSocksWSocket::SocksGranted(const TReplyDecision& Reply, int32_t Held) {
  if (!SocksLevel4()) {
    SocksReplyAddr = Reply.BoundAddr;
    SocksReplyPort = Reply.BoundPort;
  }
  SocksPhase = spIdle;
  StopSocksTimer();
  // The bytes that came with the reply are the application's first: they are
  // in place before OnSessionConnected, whose handler may already read, and a
  // close there clears them with the other per-connection fields.
  SurplusCount = Held > Reply.Length ? Held - Reply.Length : 0;
  SurplusPos = Reply.Length;
  TAliveGuard guard(this);
  const winsock::SOCKET handle = SocketHandle;
  FireSessionConnected(0);
  if (guard.Destroyed() || SocketHandle != handle) return true;
  return FireDataAvailable(0);
}

void TCustomSocksWSocket::FireSessionClosed(uint16_t Error) {
  if (SocksPhase == spAuthenticating) {
    TAliveGuard guard(this);
    FireSocksAuthState(socksAuthFailed);
    if (guard.Destroyed()) return;
  }
  TCustomWSocket::FireSessionClosed(Error);
}
