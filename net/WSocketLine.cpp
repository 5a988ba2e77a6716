// The line layer: with line mode on, received bytes are held and offered one
// line per OnDataAvailable (terminator included), with optional echo and
// terminal-style editing, a limit for unterminated lines, and the last
// unterminated line offered before OnSessionClosed.
//
// Every step keeps its state in the object, never in locals across a handler
// call: a handler may pump messages (new bytes then arrive nested), switch line
// mode, close or destroy the socket.
#include "net/WSocket.h"

TCustomLineWSocket::TCustomLineWSocket(TComponent* AOwner) : TCustomSocksWSocket(AOwner) {}

TCustomLineWSocket::~TCustomLineWSocket() {
  Destroying();
  FreeLineBuffer();
}

bool TCustomLineWSocket::SplitsLines() const {
  return FLineMode && !FLineEnd.empty() && SocksPhase == spIdle;
}

void TCustomLineWSocket::SetLineMode(bool value) {
  if (value == FLineMode) return;
  FLineMode = value;
  // Held bytes are split afresh under the new mode, from the message loop.
  RescanHeld();
  if (LineBufferCount > 0 || CurrentLineLength > 0)
    win32::PostMessageA(HiddenWindow, WM_SOCKET_LINE_DATA, 0, 0);
}

void TCustomLineWSocket::SetLineEnd(const std::string& value) {
  FLineEnd = value;
  RescanHeld();
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

void TCustomLineWSocket::HandleLineData() {
  TAliveGuard guard(this);
  while (LineBufferCount > 0) {
    const uint64_t taken = HeldTaken();
    FireDataAvailable(0);
    // A pass that takes nothing (no handler, a handler that reads nothing, an
    // unfinished line) leaves the bytes held for the next data notification.
    if (guard.Destroyed() || HeldTaken() == taken) return;
  }
}

int32_t TCustomLineWSocket::RcvdCount() {
  if (FLineMode) return CurrentLineLength;
  return TCustomSocksWSocket::RcvdCount();
}

int32_t TCustomLineWSocket::RawReceive(void* Buffer, int32_t Size, int32_t Flags) {
  if (Size < 0) Size = 0;
  if (FLineMode && CurrentLineLength > 0) {
    const int32_t n = Size < CurrentLineLength ? Size : CurrentLineLength;
    TakeHeld(Buffer, n);
    CurrentLineLength -= n;
    return n;
  }
  // Held bytes come before the socket's whenever lines are not being split.
  if ((!FLineMode || FLineEnd.empty()) && LineBufferCount > 0) {
    const int32_t n = Size < LineBufferCount ? Size : LineBufferCount;
    TakeHeld(Buffer, n);
    CurrentLineLength = CurrentLineLength > n ? CurrentLineLength - n : 0;
    return n;
  }
  return TCustomSocksWSocket::RawReceive(Buffer, Size, Flags);
}

bool TCustomLineWSocket::FireDataAvailable(uint16_t Error) {
  if (!SplitsLines()) return TCustomSocksWSocket::FireDataAvailable(Error);
  TAliveGuard guard(this);
  const int32_t got = ReadIntoLineBuffer();
  if (guard.Destroyed()) return true;
  // Held bytes not yet searched (line mode or terminator just changed) are split
  // even when the socket had nothing new.
  if (got <= 0 && !Unscanned()) return true;
  // Bytes that came while a handler pumps messages during the offer of a line
  // are split by that offer once the line is taken.
  if (CurrentLineLength > 0) return true;
  DeliverLines(guard);
  return true;
}

int32_t TCustomLineWSocket::ReadIntoLineBuffer() {
  int32_t n = TCustomSocksWSocket::RcvdCount();
  if (n < 0) return n;
  if (n == 0) n = 255;
  uint8_t* tail = ReserveTail(n);
  int32_t got = TCustomSocksWSocket::RawReceive(tail, n, 0);
  if (got < 0) FLastError = WSocket_WSAGetLastError();
  if (got <= 0) return got;
  tail[got] = 0;
  FEcho.clear();
  if (FLineEdit)
    ApplyLineEditing(got);
  else if (FLineEcho)
    FEcho.assign(reinterpret_cast<const char*>(tail), static_cast<size_t>(got));
  CommitTail(got);
  // Echoed only once the bytes are held: sending may run handlers.
  if (!FEcho.empty()) {
    std::string echo;
    echo.swap(FEcho);
    Send(echo.data(), static_cast<int32_t>(echo.size()));
  }
  return got;
}

void TCustomLineWSocket::ApplyLineEditing(int32_t& Count) {
  std::string* echo = FLineEcho ? &FEcho : nullptr;
  if (!EditTail(Count, FLineEnd, echo) && echo)
    echo->assign(reinterpret_cast<const char*>(LineBuffer) + LineStart + LineBufferCount,
                 static_cast<size_t>(Count));
}

void TCustomLineWSocket::DeliverLines(TAliveGuard& Guard) {
  while (SplitsLines() && LineBuffer) {
    const int32_t length = FindLine(FLineEnd);
    if (length == 0) {
      CheckLineLimit(Guard);
      return;
    }
    CurrentLineLength = length;
    LineArrived = true;
    if (!OfferLine(Guard)) return;
    if (CurrentLineLength > 0) {
      // Line mode went off with part of the line unread: the rest and what
      // follows stay held, and go out under the new mode (the switch posted that).
      CurrentLineLength = 0;
      RescanHeld();
      return;
    }
  }
}

bool TCustomLineWSocket::OfferLine(TAliveGuard& Guard) {
  while (FLineMode && CurrentLineLength > 0) {
    const uint64_t taken = HeldTaken();
    bool handled;
    try {
      handled = TCustomSocksWSocket::FireDataAvailable(0);
    } catch (...) {
      if (Guard.Destroyed()) throw;
      // A line whose handler failed is dropped, not offered again (it would
      // fail again); the lines after it follow from the message loop.
      TakeHeld(nullptr, CurrentLineLength);
      CurrentLineLength = 0;
      if (LineBufferCount > 0) win32::PostMessageA(HiddenWindow, WM_SOCKET_LINE_DATA, 0, 0);
      throw;
    }
    if (Guard.Destroyed()) return false;
    // Nobody takes it (no handler, or one that reads nothing): dropped, so
    // the socket does not offer it for ever.
    if (!handled || (HeldTaken() == taken && FLineMode && CurrentLineLength > 0)) {
      TakeHeld(nullptr, CurrentLineLength);
      CurrentLineLength = 0;
    }
  }
  return true;
}

void TCustomLineWSocket::CheckLineLimit(TAliveGuard& Guard) {
  if (FLineLimit <= 0 || LineBufferCount <= FLineLimit) return;
  LimitClearData = true;
  try {
    FireLineLimitExceeded(LineBufferCount, LimitClearData);
  } catch (...) {
    if (!Guard.Destroyed() && LimitClearData) ClearHeld();
    LimitClearData = false;
    throw;
  }
  if (Guard.Destroyed()) return;
  if (LimitClearData) {
    CurrentLineLength = 0;
    ClearHeld();
    LimitClearData = false;
  }
}

void TCustomLineWSocket::FireLineLimitExceeded(int32_t RcvdLength, bool& ClearData) {
  if (OnLineLimitExceeded) OnLineLimitExceeded(this, RcvdLength, ClearData);
}

void TCustomLineWSocket::FireSessionClosed(uint16_t Error) {
  LineArrived = true;
  if (LineBuffer) {
    TAliveGuard guard(this);
    if (FLineMode && LineBufferCount > 0 && !LimitClearData) DeliverLastLines();
    if (guard.Destroyed()) return;
    FreeLineBuffer();
  }
  TCustomSocksWSocket::FireSessionClosed(Error);
}

void TCustomLineWSocket::DeliverLastLines() {
  TAliveGuard guard(this);
  // Also when closed from inside the offer of a line: everything held is
  // offered again from its start, complete lines one by one, then the rest.
  CurrentLineLength = 0;
  RescanHeld();
  while (FLineMode && LineBuffer && LineBufferCount > 0) {
    const int32_t length = FLineEnd.empty() ? 0 : FindLine(FLineEnd);
    CurrentLineLength = length > 0 ? length : LineBufferCount;
    try {
      if (!OfferLine(guard)) return;
    } catch (...) {
      // As in the receive loop: a failing handler does not stop the close.
      if (guard.Destroyed()) return;
    }
    if (CurrentLineLength > 0) break;  // line mode went off
  }
}
