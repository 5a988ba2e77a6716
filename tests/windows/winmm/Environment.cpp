// The double's environment and log file, on kernel32 alone: the process's own
// variables (not a runtime's copy of them), so a test may set them at any time.
#include "tests/windows/winmm/Double.h"

#include <windows.h>

namespace winmm_double {

bool Environment(const char* Name, std::string& Value) {
  char small[512];
  // An empty variable also gives 0, without touching the last error.
  SetLastError(ERROR_SUCCESS);
  DWORD n = GetEnvironmentVariableA(Name, small, sizeof small);
  if (n == 0) {
    Value.clear();
    return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  }
  if (n < sizeof small) {
    Value.assign(small, n);
    return true;
  }
  Value.resize(n);
  n = GetEnvironmentVariableA(Name, &Value[0], n);
  Value.resize(n);
  return true;
}

void Log(const std::string& Line) {
  std::string path;
  if (!Environment("VORLANX_TEST_WINMM_LOG", path) || path.empty()) return;
  // The tests run on Linux and name Linux files: those are on drive Z: under Wine.
  if (path[0] == '/') path = "Z:" + path;
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = Line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace winmm_double
