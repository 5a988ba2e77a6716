// Tick count, thread ids, sleeping and the thread's last error.
#include "platform/win32/windows/Real.h"

namespace win32 {

DWORD GetTickCount() { return ::GetTickCount(); }
DWORD GetCurrentThreadId() { return ::GetCurrentThreadId(); }
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }
DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }

}  // namespace win32
