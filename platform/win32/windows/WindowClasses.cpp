// Window classes: the real class table of the program's module.
#include "platform/win32/windows/Real.h"

namespace win32 {

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ::WNDCLASSA copy = *reinterpret_cast<const ::WNDCLASSA*>(wc);
  copy.hInstance = win32_real::Instance(wc->hInstance);
  return ::RegisterClassA(&copy);
}

BOOL GetClassInfoA(HINSTANCE hInstance, const char* className, WNDCLASSA* wc) {
  return ::GetClassInfoA(win32_real::Instance(hInstance), className,
                         reinterpret_cast<::WNDCLASSA*>(wc));
}

BOOL UnregisterClassA(const char* className, HINSTANCE hInstance) {
  return ::UnregisterClassA(className, win32_real::Instance(hInstance));
}

}  // namespace win32
