// The program's own module: its instance handle and executable path.
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

#include "platform/win32/linux/LibraryRegistry.h"

namespace win32 {

namespace {

char g_programModule;

const std::string& ExecutablePath() {
  static std::string path;
  static std::once_flag once;
  std::call_once(once, [] {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) path.assign(buf, static_cast<size_t>(n));
  });
  return path;
}

}  // namespace

HMODULE GetModuleHandleA(const char* moduleName) {
  if (!moduleName) return &g_programModule;
  HMODULE module = internal::FindLoadedLibrary(moduleName);
  if (!module) SetLastError(ERROR_MOD_NOT_FOUND);
  return module;
}

DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) {
  std::string name;
  if (!module || module == &g_programModule) {
    name = ExecutablePath();
    if (name.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
  } else if (!internal::LibraryFileName(module, &name)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (!fileName || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // As Win32 does: a path that does not fit is cut, terminated, and the full
  // buffer size is returned with ERROR_INSUFFICIENT_BUFFER.
  if (name.size() >= size) {
    std::memcpy(fileName, name.data(), size - 1);
    fileName[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(fileName, name.c_str(), name.size() + 1);
  return static_cast<DWORD>(name.size());
}

}  // namespace win32
