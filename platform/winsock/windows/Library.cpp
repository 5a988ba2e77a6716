// Kept apart from the forwards: after <windows.h> the Winsock names are macros.
#include "platform/winsock/windows/Library.h"

#include <windows.h>

namespace winsock::mapping {

namespace {

HMODULE Load(DWORD* error) {
  HMODULE lib = LoadLibraryA("wsock32.dll");
  *error = lib ? 0 : GetLastError();
  return lib;
}

}  // namespace

void* Proc(const char* name) {
  static DWORD loadError = 0;
  static const HMODULE lib = Load(&loadError);
  if (!lib) {
    SetLastError(loadError);
    return nullptr;
  }
  FARPROC p = GetProcAddress(lib, name);
  if (!p) SetLastError(WSASYSNOTREADY);
  return reinterpret_cast<void*>(p);
}

}  // namespace winsock::mapping
