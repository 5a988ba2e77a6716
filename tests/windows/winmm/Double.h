// What the winmm test double needs from Windows itself, kept apart from the
// procedures it exports (the real header declares those with other types).
#pragma once

#include <string>

namespace winmm_double {

// The variable's value; false when it is not set (an empty one is set).
bool Environment(const char* Name, std::string& Value);
// Appends Line and a "\n" to the file named by VORLANX_TEST_WINMM_LOG, if set,
// written through at once so a reader in another process sees it.
void Log(const std::string& Line);

}  // namespace winmm_double
