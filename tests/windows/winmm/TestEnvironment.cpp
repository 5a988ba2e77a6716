#include "tests/windows/winmm/TestEnvironment.h"

#include <windows.h>

void SetTestEnvironment(const char* Name, const char* Value) {
  SetEnvironmentVariableA(Name, Value);
}
