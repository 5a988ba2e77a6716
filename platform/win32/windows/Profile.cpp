// Private profile (INI) files: the system's reader and writer.
#include "platform/win32/windows/Real.h"

namespace win32 {

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* returned, DWORD size, const char* fileName) {
  return ::GetPrivateProfileStringA(section, key, defaultValue, returned, size, fileName);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  return ::WritePrivateProfileStringA(section, key, value, fileName);
}

}  // namespace win32
