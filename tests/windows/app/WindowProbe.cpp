// Looks at the windows of another program in the same Wine session, for the
// relay's end-to-end test: which windows it shows (with their controls and
// texts, read through WM_GETTEXT), and presses buttons or closes windows as a
// user would.
//
//   winprobe list FOLDER        visible top-level windows of programs started
//                               from FOLDER (case-insensitive part of the path):
//     top <hwnd> <class> <title> <left> <top> <right> <bottom> <client-x> <client-y>
//     child <hwnd> <id> <class> <style> <text>      (fields separated by tabs;
//                                                   CR and LF in texts as \r, \n)
//   winprobe command HWND ID    posts WM_COMMAND ID (a button press) to HWND
//   winprobe close HWND         posts WM_CLOSE to HWND (the close button)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return out;
}

std::string ClassOf(HWND w) {
  wchar_t name[256] = {0};
  GetClassNameW(w, name, 256);
  return Utf8(name);
}

// The text the window's own procedure gives (works across processes).
std::string TextOf(HWND w) {
  wchar_t text[2048] = {0};
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                           2000, &got))
    return std::string();
  return Utf8(text);
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
  return s;
}

std::wstring ImageOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!p) return std::wstring();
  wchar_t path[MAX_PATH * 2] = {0};
  DWORD size = MAX_PATH * 2;
  if (!QueryFullProcessImageNameW(p, 0, path, &size)) path[0] = 0;
  CloseHandle(p);
  return path;
}

BOOL CALLBACK ListChild(HWND w, LPARAM) {
  std::printf("child\t%p\t%d\t%s\t%08lx\t%s\n", static_cast<void*>(w), GetDlgCtrlID(w),
              ClassOf(w).c_str(), static_cast<unsigned long>(GetWindowLongW(w, GWL_STYLE)),
              Escaped(TextOf(w)).c_str());
  return TRUE;
}

BOOL CALLBACK ListTop(HWND w, LPARAM folder) {
  if (!IsWindowVisible(w)) return TRUE;
  const std::wstring& want = *reinterpret_cast<const std::wstring*>(folder);
  if (Lower(ImageOf(w)).find(want) == std::wstring::npos) return TRUE;
  RECT r{};
  GetWindowRect(w, &r);
  POINT origin{0, 0};
  ClientToScreen(w, &origin);
  std::printf("top\t%p\t%s\t%s\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\n", static_cast<void*>(w),
              ClassOf(w).c_str(), Escaped(TextOf(w)).c_str(), r.left, r.top, r.right, r.bottom,
              origin.x, origin.y);
  EnumChildWindows(w, &ListChild, 0);
  return TRUE;
}

HWND HandleArg(const char* text) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(text, nullptr, 16)));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "list" && argc == 3) {
    std::string folder = argv[2];
    std::wstring want = Lower(std::wstring(folder.begin(), folder.end()));
    EnumWindows(&ListTop, reinterpret_cast<LPARAM>(&want));
    return 0;
  }
  if (cmd == "command" && argc == 4)
    return PostMessageW(HandleArg(argv[2]), WM_COMMAND, std::strtoul(argv[3], nullptr, 10), 0)
               ? 0
               : 1;
  if (cmd == "close" && argc == 3) return PostMessageW(HandleArg(argv[2]), WM_CLOSE, 0, 0) ? 0 : 1;
  std::fprintf(stderr, "usage: winprobe list FOLDER | command HWND ID | close HWND\n");
  return 2;
}
