// Private to win32: module queries the library registry answers.
#pragma once

#include <string>

#include "platform/win32/win32.h"

namespace win32::internal {

// The handle of a loaded library with that file name, or null.
HMODULE FindLoadedLibrary(const char* fileName);
// The file name a library handle was registered under; false for other handles.
bool LibraryFileName(HMODULE module, std::string* name);

}  // namespace win32::internal
