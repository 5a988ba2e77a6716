// Menus: TMenuItem (caption, tag, radio check marks, click) and TPopupMenu,
// shown at a screen position.
#pragma once

#include <string>
#include <vector>

#include "ui/Controls.h"

// Whether accelerator characters are added to captions automatically.
enum TMenuAutoFlag { maAutomatic, maManual, maParent };

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& value) { FCaption = value; }
  int Tag() const { return FTag; }
  void SetTag(int value) { FTag = value; }
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool value) { FRadioItem = value; }
  uint8_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(uint8_t value) { FGroupIndex = value; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  // Checking a radio item unchecks the other radio items of its group.
  bool Checked() const { return FChecked; }
  void SetChecked(bool value);
  TMenuAutoFlag AutoHotkeys() const { return FAutoHotkeys; }
  void SetAutoHotkeys(TMenuAutoFlag value) { FAutoHotkeys = value; }

  // Sub-items.
  void Add(TMenuItem* Item);
  void Remove(TMenuItem* Item);
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for an index outside the list.
  TMenuItem* Items(int Index) const;
  TMenuItem* Parent() const { return FParent; }

  TNotifyEvent OnClick;
  // What choosing the item does: runs OnClick.
  virtual void Click();

 private:
  std::string FCaption;
  int FTag = 0;
  bool FRadioItem = false;
  uint8_t FGroupIndex = 0;
  bool FEnabled = true;
  bool FChecked = false;
  TMenuAutoFlag FAutoHotkeys = maParent;
  TMenuItem* FParent = nullptr;
  std::vector<TMenuItem*> FItems;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;

  TMenuItem* Items() const { return FItems; }
  TMenuAutoFlag AutoHotkeys() const { return FAutoHotkeys; }
  void SetAutoHotkeys(TMenuAutoFlag value) { FAutoHotkeys = value; }

  // Shows the menu with its top-left corner at a screen position and returns
  // when it is closed; the chosen item's Click runs before that.
  virtual void Popup(int X, int Y);

 private:
  TMenuItem* FItems;
  TMenuAutoFlag FAutoHotkeys = maAutomatic;
};
