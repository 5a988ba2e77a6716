// The program's module and the file names of loaded modules.
#include "platform/win32/windows/Real.h"

namespace win32 {

HMODULE GetModuleHandleA(const char* moduleName) { return ::GetModuleHandleA(moduleName); }

// Cut to the buffer, terminated, the buffer size returned with
// ERROR_INSUFFICIENT_BUFFER when the path does not fit (the system's rule).
DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) {
  return ::GetModuleFileNameA(win32_real::Module(module), fileName, size);
}

}  // namespace win32
