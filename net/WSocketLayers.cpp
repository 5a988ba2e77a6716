// The layers between TCustomWSocket and TWSocket. Without a SOCKS server and
// with line mode off they pass everything through; their active behaviour
// (the SOCKS negotiation, line splitting) comes later.
#include <cstdlib>
#include <cstring>

#include "net/WSocket.h"
#include "rtl/Application.h"
#include "rtl/SysUtils.h"

// ---- TCustomSocksWSocket --------------------------------------------------------
TCustomSocksWSocket::TCustomSocksWSocket(TComponent* AOwner) : TCustomWSocket(AOwner) {}

void TCustomSocksWSocket::ResetToDefaults() {
  TCustomWSocket::ResetToDefaults();
  SocksPhase = spIdle;
  FSocksServer.clear();
  FSocksPort.clear();
  FSocksLevel = "5";
  SurplusCount = 0;
  SocksServerSet = false;
}

int32_t TCustomSocksWSocket::RcvdCount() {
  if (SurplusCount > 0) return SurplusCount;
  return TCustomWSocket::RcvdCount();
}

int32_t TCustomSocksWSocket::RawReceive(void* Buffer, int32_t Size, int32_t Flags) {
  if (SurplusCount <= 0) return TCustomWSocket::RawReceive(Buffer, Size, Flags);
  int32_t n = Size >= SurplusCount ? SurplusCount : (Size > 0 ? Size : 0);
  std::memcpy(Buffer, ReplyBuffer + SurplusPos, static_cast<size_t>(n));
  SurplusPos += n;
  SurplusCount -= n;
  return n;
}

bool TCustomSocksWSocket::FireDataAvailable(uint16_t Error) {
  // The negotiation phases are never entered until the SOCKS client exists.
  return TCustomWSocket::FireDataAvailable(Error);
}

void TCustomSocksWSocket::FireSessionConnected(uint16_t Error) {
  TCustomWSocket::FireSessionConnected(Error);
}

void TCustomSocksWSocket::FireSessionClosed(uint16_t Error) {
  if (SocksPhase == spAuthenticating) FireSocksAuthState(socksAuthFailed);
  TCustomWSocket::FireSessionClosed(Error);
}

void TCustomSocksWSocket::Connect() {
  if (SocksServerSet) {
    RaiseOrReport("Connecting thru socks server is not implemented yet");
    return;
  }
  TCustomWSocket::Connect();
}

void TCustomSocksWSocket::Listen() {
  if (SocksServerSet) {
    RaiseOrReport("Listening is not supported thru socks server");
    return;
  }
  TCustomWSocket::Listen();
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

// ---- TCustomLineWSocket ---------------------------------------------------------
TCustomLineWSocket::TCustomLineWSocket(TComponent* AOwner) : TCustomSocksWSocket(AOwner) {}

TCustomLineWSocket::~TCustomLineWSocket() {
  Destroying();
  std::free(LineBuffer);
  LineBuffer = nullptr;
  LineBufferSize = LineBufferCount = 0;
}

void TCustomLineWSocket::HandleWindowMessage(TWSocketMessage& Msg) {
  if (Msg.Msg != WM_SOCKET_LINE_DATA) {
    TCustomSocksWSocket::HandleWindowMessage(Msg);  // may destroy the object
    return;
  }
  TAliveGuard guard(this);
  try {
    HandleLineData();
  } catch (Exception& E) {
    if (!guard.Destroyed()) HandleEventException(E);
  }
}

int32_t TCustomLineWSocket::RcvdCount() {
  if (FLineMode) return CurrentLineLength;
  return TCustomSocksWSocket::RcvdCount();
}

int32_t TCustomLineWSocket::RawReceive(void* Buffer, int32_t Size, int32_t Flags) {
  if (Size < 0) Size = 0;
  if (FLineMode && CurrentLineLength > 0) {
    if (Size >= CurrentLineLength) {
      int32_t n = CurrentLineLength;
      std::memcpy(Buffer, LineBuffer, static_cast<size_t>(n));
      CurrentLineLength = 0;
      return n;
    }
    std::memcpy(Buffer, LineBuffer, static_cast<size_t>(Size));
    std::memmove(LineBuffer, LineBuffer + Size, static_cast<size_t>(CurrentLineLength - Size));
    CurrentLineLength -= Size;
    return Size;
  }
  if (!FLineMode && LineBufferCount > 0) {
    if (Size >= LineBufferCount) {
      int32_t n = LineBufferCount;
      std::memcpy(Buffer, LineBuffer, static_cast<size_t>(n));
      LineBufferCount = 0;
      return n;
    }
    std::memcpy(Buffer, LineBuffer, static_cast<size_t>(Size));
    std::memmove(LineBuffer, LineBuffer + Size, static_cast<size_t>(LineBufferCount - Size + 1));
    LineBufferCount -= Size;
    return Size;
  }
  return TCustomSocksWSocket::RawReceive(Buffer, Size, Flags);
}

bool TCustomLineWSocket::FireDataAvailable(uint16_t Error) {
  // Line splitting is not available yet: SetLineMode refuses to switch it on.
  return TCustomSocksWSocket::FireDataAvailable(Error);
}

void TCustomLineWSocket::FireSessionClosed(uint16_t Error) {
  LineArrived = true;
  if (LineBuffer) {
    std::free(LineBuffer);
    LineBuffer = nullptr;
    LineBufferSize = LineBufferCount = 0;
  }
  TCustomSocksWSocket::FireSessionClosed(Error);
}

void TCustomLineWSocket::FireLineLimitExceeded(int32_t RcvdLength, bool& ClearData) {
  if (OnLineLimitExceeded) OnLineLimitExceeded(this, RcvdLength, ClearData);
}

void TCustomLineWSocket::SetLineMode(bool value) {
  if (value == FLineMode) return;
  if (value) {
    RaiseOrReport("Line mode is not implemented yet");
    return;
  }
  FLineMode = value;
  if (LineBufferCount > 0 || CurrentLineLength > 0)
    win32::PostMessageA(HiddenWindow, WM_SOCKET_LINE_DATA, 0, 0);
}

void TCustomLineWSocket::ApplyLineEditing(int32_t& /*Count*/) {}

void TCustomLineWSocket::HandleLineData() {
  TAliveGuard guard(this);
  while (LineBufferCount > 0) {
    int32_t before = LineBufferCount;
    FireDataAvailable(0);
    // A pass that takes nothing leaves the bytes for the next data notification.
    if (guard.Destroyed() || LineBufferCount >= before) return;
  }
}

// ---- TCustomSyncWSocket ---------------------------------------------------------
int32_t TCustomSyncWSocket::RunAndWait(const std::function<void()>& Proc, bool& Flag) {
  Flag = false;
  if (Proc) Proc();
  return WaitForFlag(Flag);
}

int32_t TCustomSyncWSocket::WaitForFlag(bool& Flag) {
  constexpr int32_t kWaitFailed = 12001;
  TAliveGuard guard(this);
  WaitDeadline = win32::GetTickCount() + static_cast<uint32_t>(WaitTimeout);
  for (;;) {
    if (Flag) return 0;
    int32_t left = static_cast<int32_t>(WaitDeadline - win32::GetTickCount());
    if (WaitTimeout > 0 && left < 0) return kWaitFailed;
    if ((Application && Application->Terminated()) || QuitReceived) return kWaitFailed;
    PumpMessages();
    if (guard.Destroyed()) return kWaitFailed;
    if (Flag) return 0;
    // Block until something can be dispatched instead of spinning; the bound
    // keeps other event sources of the application's loop served.
    int32_t wait = 50;
    if (WaitTimeout > 0 && left < wait) wait = left < 0 ? 0 : left;
    win32::WaitForQueue(wait);
  }
}
