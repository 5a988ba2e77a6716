// The popup menu: the items of a TPopupMenu as a system popup menu at a screen
// position, tracked by the system's menu loop (which goes on dispatching the
// thread's other messages while it is open).
#include <vector>

#include "ui/win32/Win32Internal.h"

namespace ui {
namespace win32ui {
namespace {

// Captions are shown as they are: "&" would underline the next character.
std::string MenuText(const std::string& caption) {
  std::string out;
  for (char c : caption) {
    if (c == '&') out += c;
    out += c;
  }
  return out;
}

}  // namespace

void Popup(TPopupMenu* menu, int x, int y) {
  TMenuItem* root = menu->Items();
  HWND owner = MainWindow();
  if (root->Count() == 0 || !owner) return;
  std::vector<TMenuItem*> items;
  HMENU popup = ::CreatePopupMenu();
  for (int i = 0; i < root->Count(); ++i) {
    TMenuItem* item = root->Items(i);
    items.push_back(item);
    std::wstring text = Wide(MenuText(item->Caption()));
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
    info.fType = MFT_STRING | (item->RadioItem() ? MFT_RADIOCHECK : 0);
    info.fState = (item->Checked() ? MFS_CHECKED : MFS_UNCHECKED) |
                  (item->Enabled() ? MFS_ENABLED : MFS_DISABLED);
    info.wID = static_cast<UINT>(i + 1);
    info.dwTypeData = &text[0];
    ::InsertMenuItemW(popup, static_cast<UINT>(i), TRUE, &info);
  }
  // The menu closes on a click elsewhere only when its owner is in front.
  ::SetForegroundWindow(owner);
  UINT chosen = static_cast<UINT>(
      ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD |
                                  TPM_NONOTIFY,
                       x, y, 0, owner, nullptr));
  ::PostMessageW(owner, WM_NULL, 0, 0);
  ::DestroyMenu(popup);
  if (chosen != 0) ClickShownItem(menu, items, chosen - 1);  // 0: dismissed
}

}  // namespace win32ui
}  // namespace ui
