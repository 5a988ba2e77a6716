#include "ui/StdCtrls.h"

#include "ui/Backend.h"

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner) { FParentColor = true; }

void TLabel::SetAutoSize(bool value) {
  FAutoSize = value;
  AdjustBounds();
}

void TLabel::SetAlignment(TAlignment value) {
  FAlignment = value;
  Changed();
}

void TLabel::SetTransparent(bool value) {
  FTransparent = value;
  Changed();
}

void TLabel::SetCaption(const std::string& value) {
  TControl::SetCaption(value);
  AdjustBounds();
}

void TLabel::SetFont(const TFont& value) {
  TControl::SetFont(value);
  AdjustBounds();
}

void TLabel::CreatePeers() {
  TControl::CreatePeers();
  AdjustBounds();
}

void TLabel::AdjustBounds() {
  int w = 0, h = 0;
  if (!FAutoSize || !UiBackend() || !UiBackend()->TextExtent(FFont, FCaption, w, h)) return;
  // The left edge stays, except for right-aligned text, whose right edge stays.
  int left = FLeft;
  if (FAlignment == taRightJustify) left += FWidth - w;
  SetBounds(left, FTop, w, h);
}
