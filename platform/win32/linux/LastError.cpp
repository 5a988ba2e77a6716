// The calling thread's last system error code.
#include "platform/win32/win32.h"

namespace win32 {

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

}  // namespace win32
