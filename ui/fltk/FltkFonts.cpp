// Colours and fonts: the framework's TColor and face names in FLTK terms.
#include <FL/Fl.H>

#include <map>
#include <string>

#include "rtl/SysUtils.h"
#include "ui/fltk/FltkInternal.h"

namespace ui {
namespace fltk {

Fl_Color ColorOf(TColor c) { return fl_rgb_color(GetRValue(c), GetGValue(c), GetBValue(c)); }

namespace {

// Faces of the original look and the metric-compatible ones installed here.
std::string Substitute(const std::string& name) {
  static const std::map<std::string, std::string> kFaces = {
      {"ARIAL", "Liberation Sans"},         {"HELVETICA", "Liberation Sans"},
      {"MS SANS SERIF", "Liberation Sans"}, {"MS SHELL DLG", "Liberation Sans"},
      {"TAHOMA", "Liberation Sans"},        {"TIMES NEW ROMAN", "Liberation Serif"},
      {"COURIER NEW", "Liberation Mono"},   {"ARIAL NARROW", "Liberation Sans Narrow"},
  };
  auto it = kFaces.find(UpperCase(name));
  return it == kFaces.end() ? name : it->second;
}

}  // namespace

Fl_Font FontOf(const TFont& font) {
  // The Xft backend reads a leading ' ', 'B', 'I' or 'P' as the style.
  char style = ' ';
  if ((font.Style & fsBold) && (font.Style & fsItalic))
    style = 'P';
  else if (font.Style & fsBold)
    style = 'B';
  else if (font.Style & fsItalic)
    style = 'I';
  std::string key = style + Substitute(font.Name.empty() ? "Arial" : font.Name);

  static std::map<std::string, Fl_Font> registered;
  auto it = registered.find(key);
  if (it != registered.end()) return it->second;
  Fl_Font index = static_cast<Fl_Font>(FL_FREE_FONT + static_cast<int>(registered.size()));
  // FLTK keeps the pointer: the map's key lives as long as the program.
  auto inserted = registered.emplace(key, index).first;
  Fl::set_font(index, inserted->first.c_str());
  return index;
}

}  // namespace fltk
}  // namespace ui
