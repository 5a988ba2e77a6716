#include "app/uEditorSettings.h"

#include <cstring>

#include "platform/win32/win32.h"
#include "rtl/Object.h"
#include "rtl/SysUtils.h"

namespace settings {

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
