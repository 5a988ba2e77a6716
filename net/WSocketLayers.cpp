// The layers between TCustomWSocket and TWSocket above the SOCKS layer (which
// has files of its own). With line mode off they pass everything through; their
// active behaviour (line splitting) comes later.
#include <cstdlib>
#include <cstring>

#include "net/WSocket.h"
#include "rtl/Application.h"
#include "rtl/SysUtils.h"

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
