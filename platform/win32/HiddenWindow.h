// Not a Windows procedure, both platforms: a hidden window of the calling
// thread with its own procedure and its object in extra slot 0, the way work
// posted from anywhere reaches the thread's loop. The class is registered on
// first use; null when no window could be made.
#pragma once

#include "platform/win32/win32.h"

namespace win32 {

inline HWND CreateHiddenWindow(const char* ClassName, WNDPROC Proc, void* Object) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  if (!GetClassInfoA(instance, ClassName, &wc)) {
    wc = {};
    wc.lpfnWndProc = Proc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.lpszClassName = ClassName;
    if (!RegisterClassA(&wc)) return nullptr;
  }
  HWND window =
      CreateWindowExA(0, ClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  if (window) SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(Object));
  return window;
}

}  // namespace win32
