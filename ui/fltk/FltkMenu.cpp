// The popup menu: the items of a TPopupMenu as an FLTK menu at a screen position.
#include <FL/Fl.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Window.H>

#include <string>
#include <vector>

#include "ui/Menus.h"
#include "ui/fltk/FltkInternal.h"

namespace ui {
namespace fltk {
namespace {

// Captions are shown as they are: FLTK's "&" (underline) and "@" (symbol) are escaped.
std::string MenuText(const std::string& caption) {
  std::string out;
  for (char c : caption) {
    if (c == '&' || c == '@') out += c;
    out += c;
  }
  return out;
}

// FLTK places a popup relative to its button's window; a window at the screen
// origin that is never shown makes the position a screen position.
Fl_Menu_Button* Anchor() {
  static Fl_Menu_Button* button = [] {
    Fl_Group::current(nullptr);
    auto* window = new Fl_Window(0, 0, 1, 1);
    auto* b = new Fl_Menu_Button(0, 0, 1, 1);
    window->end();
    return b;
  }();
  return button;
}

}  // namespace

void Popup(TPopupMenu* menu, int x, int y) {
  TMenuItem* root = menu->Items();
  if (root->Count() == 0) return;
  std::vector<TMenuItem*> items;
  std::vector<std::string> texts;
  for (int i = 0; i < root->Count(); ++i) {
    items.push_back(root->Items(i));
    texts.push_back(MenuText(items.back()->Caption()));
  }
  std::vector<Fl_Menu_Item> entries(items.size() + 1);
  for (size_t i = 0; i < items.size(); ++i) {
    Fl_Menu_Item& e = entries[i];
    e = Fl_Menu_Item();
    e.text = texts[i].c_str();
    int flags = 0;
    if (items[i]->RadioItem()) flags |= FL_MENU_RADIO;
    if (items[i]->Checked())
      flags |= items[i]->RadioItem() ? FL_MENU_VALUE : (FL_MENU_TOGGLE | FL_MENU_VALUE);
    if (!items[i]->Enabled()) flags |= FL_MENU_INACTIVE;
    e.flags = flags;
  }
  entries.back() = Fl_Menu_Item();

  const Fl_Menu_Item* picked = entries[0].pulldown(x, y, 0, 0, nullptr, Anchor());
  if (!picked) return;
  ClickShownItem(menu, items, static_cast<size_t>(picked - entries.data()));
}

}  // namespace fltk
}  // namespace ui
