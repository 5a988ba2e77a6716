// The thread's message queue: the system's own, posted to and pumped as is.
#include "platform/win32/windows/Real.h"
#include "rtl/Application.h"

namespace win32 {

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(win32_real::Hwnd(hwnd), msg, wParam, lParam);
}

BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::PostThreadMessageA(threadId, msg, wParam, lParam);
}

void PostQuitMessage(int exitCode) { ::PostQuitMessage(exitCode); }

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  return ::PeekMessageA(win32_real::Msg(msg), win32_real::Hwnd(hwnd), filterMin, filterMax, removeMsg);
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  return ::GetMessageA(win32_real::Msg(msg), win32_real::Hwnd(hwnd), filterMin, filterMax);
}

BOOL TranslateMessage(const MSG* msg) { return ::TranslateMessage(win32_real::Msg(msg)); }

LRESULT DispatchMessageA(const MSG* msg) { return ::DispatchMessageA(win32_real::Msg(msg)); }

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(win32_real::Hwnd(hwnd), msg, wParam, lParam);
}

// MWMO_INPUTAVAILABLE: input already in the queue counts too, not only input
// that came since the thread last looked, so a message left behind by a
// filtered look does not make this sleep past it.
bool WaitForQueue(int timeoutMs) {
  const ::DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<::DWORD>(timeoutMs);
  return ::MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
         WAIT_OBJECT_0;
}

namespace {

// Application->ProcessMessages pumps the calling thread's queue, as on Linux;
// installed before main(), so a window backend finds it there.
bool ProcessOneMessage(bool& quit) {
  ::MSG msg;
  if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    quit = true;
    return true;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageA(&msg);
  return true;
}

const bool g_pumpInstalled = (TApplicationCore::SetProcessMessageHook(&ProcessOneMessage), true);

}  // namespace

}  // namespace win32

namespace win32::testing {

// The wait takes nothing on Windows.
bool QueueReady(int timeoutMs) { return WaitForQueue(timeoutMs); }

}  // namespace win32::testing
