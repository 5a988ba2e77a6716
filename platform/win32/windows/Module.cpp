// The program's module and the file names of loaded modules.
#include "platform/win32/windows/Real.h"

namespace win32 {

HMODULE GetModuleHandleA(const char* moduleName) { return ::GetModuleHandleA(moduleName); }

// Cut to the buffer, terminated, the buffer size returned with
// ERROR_INSUFFICIENT_BUFFER when the path does not fit: the documented rule.
// Wine (and Windows XP) leave a cut path unterminated, so it is ended here.
DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) {
  const ::DWORD n = ::GetModuleFileNameA(win32_real::Module(module), fileName, size);
  if (n == size && size > 0) {
    fileName[size - 1] = '\0';
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  }
  return n;
}

}  // namespace win32
