#include "tests/platform/win32/AnswersLibrary.h"

#include "platform/win32/win32.h"

namespace {
int Answer() { return 42; }
}  // namespace

void ProvideAnswersLibrary() {
  const win32::LibraryExport exports[] = {{"Answer", reinterpret_cast<void*>(&Answer)}};
  win32::RegisterLibrary("answers.dll", exports, 1);
}
