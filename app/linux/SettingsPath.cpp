// Where the settings file lives on Linux: beside the executable, in a file
// system that tells case apart.
#include <dirent.h>

#include <algorithm>
#include <vector>

#include "app/uEditorSettings.h"
#include "rtl/SysUtils.h"

namespace settings {

namespace {

// The name in Dir that upper-cases to Name (which is upper case): Name itself
// when present, otherwise the first in byte order; Name when there is none.
std::string MatchInDirectory(const std::string& Dir, const std::string& Name) {
  DIR* d = ::opendir(Dir.empty() ? "." : Dir.c_str());
  if (!d) return Name;
  std::vector<std::string> found;
  while (dirent* e = ::readdir(d))
    if (UpperCase(e->d_name) == Name) found.push_back(e->d_name);
  ::closedir(d);
  if (found.empty() || std::find(found.begin(), found.end(), Name) != found.end()) return Name;
  std::sort(found.begin(), found.end());
  return found.front();
}

}  // namespace

std::string PathFor(const std::string& ExecutablePath) {
  size_t slash = ExecutablePath.rfind('/');
  std::string dir =
      slash == std::string::npos ? std::string() : ExecutablePath.substr(0, slash + 1);
  std::string name =
      UpperCase(slash == std::string::npos ? ExecutablePath : ExecutablePath.substr(slash + 1));
  size_t exe = name.find(".EXE");
  name = exe == std::string::npos ? name + ".INI" : name.substr(0, exe + 1) + "INI";
  return dir + MatchInDirectory(dir, name);
}

}  // namespace settings
