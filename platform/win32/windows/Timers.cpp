// Window timers: the system's, limited to what the interface offers (a
// window's timer posting WM_TIMER, no callback), so both platforms agree.
#include "platform/win32/windows/Real.h"

namespace win32 {

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  if (!hwnd || proc) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ::SetTimer(win32_real::Hwnd(hwnd), id, elapseMs, nullptr);
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) { return ::KillTimer(win32_real::Hwnd(hwnd), id); }

}  // namespace win32
