// Private profile (INI) files: the system's reader and writer.
#include <cstring>

#include "platform/win32/windows/Real.h"

namespace win32 {

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* returned, DWORD size, const char* fileName) {
  const ::DWORD n =
      ::GetPrivateProfileStringA(section, key, defaultValue, returned, size, fileName);
  // A list of names cut short ends in two zeros and counts size - 2: the
  // documented rule, which Wine leaves to the last name's first bytes.
  if ((!section || !key) && returned && size >= 2 && n == size - 2) {
    returned[size - 2] = '\0';
    returned[size - 1] = '\0';
  }
  return n;
}

namespace {

bool HasLineBreak(const char* text) { return text && std::strpbrk(text, "\r\n"); }

}  // namespace

// The system writes a line break inside a name or value as it is, so a value
// could add sections and keys to the file: refused, as on Linux.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
      (key && std::strchr(key, '='))) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ::WritePrivateProfileStringA(section, key, value, fileName);
}

}  // namespace win32
