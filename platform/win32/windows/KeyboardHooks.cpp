// Keyboard hooks: the system's own chain for the thread.
#include "platform/win32/windows/Real.h"

namespace win32 {

HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE hmod, DWORD threadId) {
  return win32_real::Own(::SetWindowsHookExA(idHook, win32_real::Proc(proc), static_cast<::HINSTANCE>(hmod),
                                       threadId));
}

BOOL UnhookWindowsHookEx(HHOOK hook) { return ::UnhookWindowsHookEx(win32_real::Hook(hook)); }

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  return ::CallNextHookEx(win32_real::Hook(hook), code, wParam, lParam);
}

// The system runs the chain itself for every keystroke the thread takes off
// its queue; running it here as well would show each key to the hooks twice.
bool CallKeyboardHooks(WPARAM, LPARAM) { return true; }

}  // namespace win32
