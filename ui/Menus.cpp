#include "ui/Menus.h"

#include <algorithm>

#include "rtl/SysUtils.h"
#include "ui/Backend.h"

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  Destroying();
  for (TMenuItem* item : FItems) item->FParent = nullptr;
  if (FParent) FParent->Remove(this);
}

void TMenuItem::SetChecked(bool value) {
  FChecked = value;
  if (!value || !FRadioItem || !FParent) return;
  for (TMenuItem* other : FParent->FItems)
    if (other != this && other->FRadioItem && other->FGroupIndex == FGroupIndex)
      other->FChecked = false;
}

void TMenuItem::Add(TMenuItem* Item) {
  if (!Item || Item == this) return;
  if (Item->FParent) Item->FParent->Remove(Item);
  FItems.push_back(Item);
  Item->FParent = this;
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  Item->FParent = nullptr;
}

TMenuItem* TMenuItem::Items(int Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= FItems.size())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

void TMenuItem::Click() {
  if (OnClick) OnClick(this);
}

// The root item belongs to the menu alone, not to the menu's owner.
TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner), FItems(new TMenuItem(nullptr)) {}

TPopupMenu::~TPopupMenu() {
  Destroying();
  delete FItems;
}

namespace ui {

void ClickShownItem(TPopupMenu* Menu, const std::vector<TMenuItem*>& Shown, size_t Index) {
  TMenuItem* root = Menu->Items();
  if (Index >= Shown.size() || root->Count() <= static_cast<int>(Index) ||
      root->Items(static_cast<int>(Index)) != Shown[Index])
    return;
  TMenuItem* item = Shown[Index];
  Guarded([item] { item->Click(); });
}

}  // namespace ui

void TPopupMenu::Popup(int X, int Y) {
  if (UiBackend()) UiBackend()->Popup(this, X, Y);
}
