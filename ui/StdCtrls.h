// TLabel: a text on its parent, sized to its text.
#pragma once

#include "ui/Controls.h"

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* AOwner);

  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value);
  // A transparent label paints no background; otherwise it paints its colour
  // (its parent's colour while ParentColor is set, which is the default).
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value);

  void SetCaption(const std::string& value) override;
  void SetFont(const TFont& value) override;
  void CreatePeers() override;

  // Resizes the label to its text, when auto-sizing and the backend can measure.
  void AdjustBounds();

 private:
  bool FAutoSize = true;
  TAlignment FAlignment = taLeftJustify;
  bool FTransparent = false;
};
