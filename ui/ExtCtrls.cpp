#include "ui/ExtCtrls.h"

TPanel::TPanel(TComponent* AOwner) : TWinControl(AOwner) { FColor = clSilver; }

void TPanel::SetBevelOuter(TBevelCut value) {
  FBevelOuter = value;
  Changed();
}

void TPanel::SetBevelWidth(int value) {
  FBevelWidth = value < 0 ? 0 : value;
  Changed();
}
