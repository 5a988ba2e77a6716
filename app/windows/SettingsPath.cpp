// Where the settings file lives on Windows: beside the executable. The file
// system ignores case, so the whole path is upper-cased and cut at the first
// ".EXE" wherever it stands (D:\APP.EXE.OLD\VORLANX.EXE keeps D:\APP.INI).
#include "app/uEditorSettings.h"
#include "rtl/SysUtils.h"

namespace settings {

std::string PathFor(const std::string& ExecutablePath) {
  const std::string path = UpperCase(ExecutablePath);
  const size_t exe = path.find(".EXE");
  // Without ".EXE" the file still goes beside the program, not into whatever
  // folder happens to be current.
  if (exe == std::string::npos) return path + ".INI";
  return path.substr(0, exe + 1) + "INI";
}

}  // namespace settings
