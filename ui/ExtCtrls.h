// TPanel: a coloured area with a one-pixel raised edge that holds controls.
#pragma once

#include "ui/Controls.h"

enum TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* AOwner);

  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut value);
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int value);

 private:
  TBevelCut FBevelOuter = bvRaised;
  int FBevelWidth = 1;
};
