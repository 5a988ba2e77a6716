// Forms built from a layout given as data: one row per component, in the
// order the form declares them (later controls in the same parent lie on top).
//
//   static const TFormLayout kForm = {"Caption", 213, 158, 185, 156, clBlack};
//   static const TControlLayout kControls[] = {
//     // name     kind     parent   left top  w    h   caption  font        height colour   ...
//     {"Panel1", ckPanel, nullptr, 0,   0,   185, 33, "",      nullptr,    0,     clNone,  RGB(0,
//     64, 128)},
//     {"ip",     ckLabel, "Panel1", 12, 27,  33,  14, "0.0.0.0", "Arial",  11,    clWhite, clNone,
//      crHandPoint, false, taLeftJustify, "ipMouseUp"},
//   };
//   BuildLayout(this, kForm, kControls, {{"ipMouseUp", [this](...) { ... }}});
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "ui/Controls.h"
#include "ui/Forms.h"

enum TControlKind { ckPanel, ckLabel, ckPopupMenu };

// "No colour of its own": a label shows its parent's colour.
constexpr TColor clNone = 0x1FFFFFFF;

struct TFormLayout {
  const char* Caption;
  int Left, Top;
  int ClientWidth, ClientHeight;
  TColor Color;
  TFormBorderStyle BorderStyle = bsDialog;
  TBorderIcons BorderIcons = biSystemMenu;
  const char* FontName = "MS Sans Serif";
  int FontHeight = 11;
  TColor FontColor = clWhite;
  bool Visible = true;
};

struct TControlLayout {
  const char* Name;
  TControlKind Kind;
  const char* Parent;  // nullptr: the form
  int Left, Top, Width, Height;
  const char* Caption;
  const char* FontName;  // nullptr: the form's font
  int FontHeight;        // 0: the form's font height
  TColor FontColor;      // clNone: the form's font colour
  TColor Color;          // clNone: the parent's colour
  TCursor Cursor = crDefault;
  bool Transparent = false;
  TAlignment Alignment = taLeftJustify;
  const char* OnMouseUp = nullptr;  // a handler name from the handler table
};

using TLayoutHandlers = std::map<std::string, TMouseEvent>;

// Sets the form's properties and creates its components, owned by the form and
// named as in the table. Raises Exception for a parent or handler name that
// the table or the handler list does not have.
void BuildLayout(TForm* Form, const TFormLayout& FormLayout, const TControlLayout* Controls,
                 size_t Count, const TLayoutHandlers& Handlers = {});

template <size_t N>
void BuildLayout(TForm* Form, const TFormLayout& FormLayout, const TControlLayout (&Controls)[N],
                 const TLayoutHandlers& Handlers = {}) {
  BuildLayout(Form, FormLayout, Controls, N, Handlers);
}

// The component of that name and class on the form; raises Exception when missing.
template <class T>
T* LayoutComponent(TForm* Form, const std::string& Name) {
  T* c = dynamic_cast<T*>(Form->FindComponent(Name));
  if (!c) throw Exception("Layout has no component " + Name + " of the expected kind");
  return c;
}
