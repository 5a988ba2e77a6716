#include "app/uEditorSettings.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/win32.h"
#include "rtl/Object.h"
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

std::string ReadString(const std::string& File, const char* Section, const char* Key,
                       const std::string& Default) {
  char buffer[2048] = {0};
  win32::GetPrivateProfileStringA(Section, Key, Default.c_str(), buffer, sizeof buffer,
                                  File.c_str());
  return std::string(buffer, ::strnlen(buffer, sizeof buffer - 1));
}

int32_t ReadInteger(const std::string& File, const char* Section, const char* Key,
                    int32_t Default) {
  std::string text = ReadString(File, Section, Key, "");
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text = "$" + text.substr(2);
  int32_t value;
  return TryStrToInt(text, value) ? value : Default;
}

void WriteString(const std::string& File, const char* Section, const char* Key,
                 const std::string& Value) {
  if (!win32::WritePrivateProfileStringA(Section, Key, Value.c_str(), File.c_str()))
    throw Exception(Format("Unable to write to %s", File.c_str()));
}

void WriteInteger(const std::string& File, const char* Section, const char* Key, int32_t Value) {
  WriteString(File, Section, Key, IntToStr(Value));
}

}  // namespace settings
