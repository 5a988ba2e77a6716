// Private to the win32 service, both platforms: the part of a file name that
// names a module to the loader.
#pragma once

#include <cctype>
#include <string>

namespace win32::internal {

// No directory, no case, and no extension means ".dll" (a trailing dot means none).
inline std::string FoldModuleName(const char* fileName) {
  std::string name(fileName);
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!name.empty() && name.back() == '.')
    name.pop_back();
  else if (name.find('.') == std::string::npos)
    name += ".dll";
  return name;
}

}  // namespace win32::internal
