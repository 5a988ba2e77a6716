// Texts, colours and fonts: the framework's byte strings, TColor and face
// names in GDI terms.
#include <map>
#include <tuple>
#include <vector>

#include "ui/win32/Win32Internal.h"

namespace ui {
namespace win32ui {
namespace {

std::wstring Decode(UINT codePage, DWORD flags, const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

bool Ascii(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// The face itself when the system has it.
bool FaceInstalled(const std::string& face) {
  LOGFONTA lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  bool found = false;
  HDC dc = ::GetDC(nullptr);
  ::EnumFontFamiliesExA(
      dc, &lf,
      [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM data) -> int {
        *reinterpret_cast<bool*>(data) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  ::ReleaseDC(nullptr, dc);
  return found;
}

// Faces of the original look and the metric-compatible ones in their place.
std::string Substitute(const std::string& name) {
  static const std::map<std::string, std::vector<std::string>> kFaces = {
      {"ARIAL", {"Liberation Sans", "DejaVu Sans"}},
      {"HELVETICA", {"Arial", "Liberation Sans"}},
      {"MS SANS SERIF", {"Microsoft Sans Serif", "Arial", "Liberation Sans"}},
      {"TIMES NEW ROMAN", {"Liberation Serif"}},
      {"COURIER NEW", {"Liberation Mono"}},
  };
  if (FaceInstalled(name)) return name;
  auto it = kFaces.find(UpperCase(name));
  if (it != kFaces.end())
    for (const std::string& other : it->second)
      if (FaceInstalled(other)) return other;
  return name;  // GDI picks the closest it has
}

}  // namespace

std::wstring Wide(const std::string& text) {
  std::wstring utf8 = Decode(CP_UTF8, MB_ERR_INVALID_CHARS, text);
  if (!utf8.empty() || text.empty()) return utf8;
  return Decode(CP_ACP, 0, text);
}

std::string Ansi(const std::string& text) {
  if (Ascii(text)) return text;
  std::wstring wide = Decode(CP_UTF8, MB_ERR_INVALID_CHARS, text);
  if (wide.empty()) return text;  // not UTF-8: already in the code page
  int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
  if (n <= 0) return text;
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr,
                        nullptr);
  return out;
}

COLORREF ColorOf(TColor c) { return RGB(GetRValue(c), GetGValue(c), GetBValue(c)); }

HFONT FontOf(const TFont& font) {
  const std::string name = font.Name.empty() ? std::string("Arial") : font.Name;
  const int height = font.Height > 0 ? font.Height : 1;
  const unsigned style = font.Style & (fsBold | fsItalic);
  static std::map<std::tuple<std::string, int, unsigned>, HFONT> made;
  auto key = std::make_tuple(UpperCase(name), height, style);
  auto it = made.find(key);
  if (it != made.end()) return it->second;
  // A negative height asks for the character height (the em), as the layout gives it.
  HFONT f = ::CreateFontW(-height, 0, 0, 0, (style & fsBold) ? FW_BOLD : FW_NORMAL,
                          (style & fsItalic) ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                          VARIABLE_PITCH | FF_SWISS, Wide(Substitute(name)).c_str());
  made.emplace(key, f);
  return f;
}

void MeasureText(const TFont& font, const std::string& text, int& width, int& height) {
  HDC dc = ::GetDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, FontOf(font));
  if (text.empty()) {
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    width = 0;
    height = tm.tmHeight;
  } else {
    std::wstring w = Wide(text);
    RECT r{0, 0, 0, 0};
    ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DT_CALCRECT | DT_NOPREFIX);
    width = r.right - r.left;
    height = r.bottom - r.top;
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
}

}  // namespace win32ui
}  // namespace ui
