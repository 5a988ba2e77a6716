// Hidden windows: real windows, made message-only, so they are never drawn,
// get no broadcasts and need no display.
#include "platform/win32/windows/Real.h"

namespace win32 {

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                     int x, int y, int width, int height, HWND parent, HMENU menu,
                     HINSTANCE hInstance, void* param) {
  ::HWND owner = parent ? win32_real::Hwnd(parent) : win32_real::MessageOnlyParent();
  return win32_real::Own(::CreateWindowExA(exStyle, className, windowName, style, x, y, width, height,
                                     owner, win32_real::Menu(menu), win32_real::Instance(hInstance), param));
}

BOOL DestroyWindow(HWND hwnd) { return ::DestroyWindow(win32_real::Hwnd(hwnd)); }

BOOL IsWindow(HWND hwnd) { return ::IsWindow(win32_real::Hwnd(hwnd)); }

// Only the extra bytes are offered; the system's negative indexes (procedure,
// instance, parent, ...) stay out of reach, as on the stand-in.
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  if (index < 0) {
    ::SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  return ::SetWindowLongPtrA(win32_real::Hwnd(hwnd), index, value);
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  if (index < 0) {
    ::SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  return ::GetWindowLongPtrA(win32_real::Hwnd(hwnd), index);
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcA(win32_real::Hwnd(hwnd), msg, wParam, lParam);
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
  ::DWORD pid = 0;
  const ::DWORD thread = ::GetWindowThreadProcessId(win32_real::Hwnd(hwnd), &pid);
  if (processId) *processId = pid;
  return thread;
}

}  // namespace win32
