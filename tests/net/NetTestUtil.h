// Bounded waiting on the thread's message loop for the socket tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "net/WSocket.h"
#include "rtl/Application.h"
#include "tests/support/Settle.h"

namespace nettest {

// Dispatches messages until pred() holds or timeoutMs passes; returns pred().
// When time is up, what is queued by then is still dispatched once: a thread
// that a loaded machine held back past the deadline still looks.
template <typename Pred>
bool PumpUntil(Pred pred, int timeoutMs = 10000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      Application->ProcessMessages();
      return pred();
    }
    win32::WaitForQueue(static_cast<int>(left.count()));
    Application->ProcessMessages();
  }
  return true;
}

// Dispatches whatever arrives within ms milliseconds: for a test of a timer,
// to let its time pass. A test that waits for something waits for it instead.
inline void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

// Dispatches what arrives within the suite's settle time: after what a test
// waited for has come, to see that nothing more does.
inline void Settle() { PumpFor(testsupport::kSettleMs); }

// Takes messages off the queue one at a time until one read notification
// (WM_SOCKET_EVENT with FD_READ) has been dispatched, or timeoutMs passes;
// returns whether it was.
inline bool DispatchOneReadEvent(int timeoutMs = 3000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    win32::MSG msg;
    while (win32::PeekMessageA(&msg, nullptr, 0, 0, win32::PM_REMOVE)) {
      win32::DispatchMessageA(&msg);
      if (msg.message == WM_SOCKET_EVENT &&
          (winsock::WSAGETSELECTEVENT(msg.lParam) & winsock::FD_READ))
        return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    win32::WaitForQueue(static_cast<int>(left.count()));
  }
}

// A UDP socket listening on 127.0.0.1 at a port the system picks.
inline void ListenUdp(TWSocket& s, const std::string& addr = "127.0.0.1") {
  s.Close();
  s.SetProto("udp");
  s.SetAddr(addr);
  s.SetPort("0");
  s.Listen();
}

inline uint16_t BoundPort(TWSocket& s) {
  return static_cast<uint16_t>(std::stoi(s.BoundPortText()));
}

// Raises when the expression does not raise ESocketException; gives its message.
template <typename F>
std::string SocketErrorOf(F f) {
  try {
    f();
  } catch (const ESocketException& e) {
    return e.Message();
  }
  return "<no exception>";
}

}  // namespace nettest
