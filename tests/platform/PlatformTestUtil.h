// Helpers for the platform tests: a recording window and bounded waits on the
// calling thread's queue.
#pragma once

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "tests/support/Settle.h"

#ifndef _WIN32
#include "tests/support/BlockedInWait.h"
#endif

namespace ptest {

// A hidden window that records what it is sent; the recorder sits in extra slot 0.
class RecordingWindow {
 public:
  std::vector<win32::MSG> got;
  std::function<void(const win32::MSG&)> onMessage;

  RecordingWindow() {
    Register();
    hwnd = win32::CreateWindowExA(win32::WS_EX_TOOLWINDOW, kClass, "", win32::WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, nullptr, nullptr);
    win32::SetWindowLongPtrA(hwnd, 0, reinterpret_cast<win32::LONG_PTR>(this));
  }
  ~RecordingWindow() {
    if (!win32::IsWindow(hwnd)) return;
    win32::SetWindowLongPtrA(hwnd, 0, 0);  // its WM_DESTROY finds no recorder
    win32::DestroyWindow(hwnd);
  }
  RecordingWindow(const RecordingWindow&) = delete;
  RecordingWindow& operator=(const RecordingWindow&) = delete;

  win32::HWND hwnd = nullptr;
  static constexpr const char* kClass = "PlatformTestWindow";

 private:
  static void Register() {
    win32::WNDCLASSA wc{};
    if (win32::GetClassInfoA(nullptr, kClass, &wc)) return;
    wc.lpfnWndProc = &Proc;
    wc.cbWndExtra = sizeof(void*);
    wc.lpszClassName = kClass;
    win32::RegisterClassA(&wc);
  }
  static win32::LRESULT Proc(win32::HWND h, win32::UINT m, win32::WPARAM w, win32::LPARAM l) {
    auto* self = reinterpret_cast<RecordingWindow*>(win32::GetWindowLongPtrA(h, 0));
    if (!self) return win32::DefWindowProcA(h, m, w, l);
    win32::MSG msg{h, m, w, l, 0, {0, 0}};
    self->got.push_back(msg);
    if (self->onMessage) self->onMessage(msg);
    return 0;
  }
};

inline int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// CPU time the calling thread has used, in milliseconds.
inline double ThreadCpuMs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// Takes the next message for hwnd with the given id off the queue, dispatching
// everything else on the way; false when none comes within timeoutMs.
inline bool NextMessage(win32::HWND hwnd, win32::UINT id, win32::MSG* out, int timeoutMs = 3000) {
  const int64_t deadline = NowMs() + timeoutMs;
  for (;;) {
    win32::MSG msg;
    while (win32::PeekMessageA(&msg, nullptr, 0, 0, win32::PM_REMOVE)) {
      if (msg.hwnd == hwnd && msg.message == id) {
        *out = msg;
        return true;
      }
      win32::DispatchMessageA(&msg);
    }
    const int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    win32::WaitForQueue(static_cast<int>(left));
  }
}

// Dispatches messages until pred() holds or timeoutMs passes; returns pred().
inline bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 3000) {
  const int64_t deadline = NowMs() + timeoutMs;
  while (!pred()) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    win32::WaitForQueue(static_cast<int>(left));
    win32::MSG msg;
    while (win32::PeekMessageA(&msg, nullptr, 0, 0, win32::PM_REMOVE))
      win32::DispatchMessageA(&msg);
  }
  return true;
}

// Dispatches what arrives within the suite's settle time: after what a test
// waited for has come, to see that nothing more does.
inline void Settle() {
  PumpUntil([] { return false; }, testsupport::kSettleMs);
}

// Whether the calling thread has something to dispatch (its wait handle is
// readable, on Linux), looking without taking anything.
inline bool WaitHandleReadable(int timeoutMs = 0) { return win32::testing::QueueReady(timeoutMs); }


}  // namespace ptest
