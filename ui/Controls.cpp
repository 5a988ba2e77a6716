#include "ui/Controls.h"

#include <algorithm>
#include <exception>

#include "rtl/Application.h"
#include "ui/Backend.h"
#include "ui/Forms.h"

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  Destroying();
  DestroyPeers();
  SetParent(nullptr);
}

void TControl::SetParent(TWinControl* value) {
  if (value == FParent) return;
  if (FParent) {
    DestroyPeers();
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (FParent->Peer()) FParent->Peer()->Changed();
  }
  FParent = value;
  if (FParent) {
    FParent->FControls.push_back(this);
    if (FParent->Peer()) CreatePeers();
  }
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  Changed();
}

void TControl::SetCaption(const std::string& value) {
  if (value == FCaption) return;
  FCaption = value;
  Changed();
}

TColor TControl::Color() const { return (FParentColor && FParent) ? FParent->Color() : FColor; }

void TControl::SetColor(TColor value) {
  FColor = value;
  FParentColor = false;
  Changed();
}

void TControl::SetParentColor(bool value) {
  FParentColor = value;
  Changed();
}

void TControl::SetFont(const TFont& value) {
  if (value == FFont) return;
  FFont = value;
  Changed();
}

void TControl::SetCursor(TCursor value) {
  FCursor = value;
  Changed();
}

void TControl::SetVisible(bool value) {
  if (value == FVisible) return;
  FVisible = value;
  Changed();
}

TForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->FParent) c = c->FParent;
  return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Changed() {
  if (FPeer) FPeer->Changed();
}

void TControl::CreatePeers() {
  if (!FPeer && UiBackend() && FParent && FParent->Peer())
    FPeer = UiBackend()->CreateControlPeer(this);
}

void TControl::DestroyPeers() {
  delete FPeer;
  FPeer = nullptr;
}

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  Destroying();
  DestroyPeers();
  // Children outlive their parent only as orphans.
  while (!FControls.empty()) FControls.back()->SetParent(nullptr);
}

void TWinControl::CreatePeers() {
  TControl::CreatePeers();
  if (!FPeer) return;
  // A child may change the list while its peer is made: index, not iterators.
  for (size_t i = 0; i < FControls.size(); ++i) FControls[i]->CreatePeers();
}

void TWinControl::DestroyPeers() {
  // Children's peers live inside this one's: they go first.
  for (size_t i = FControls.size(); i-- > 0;) FControls[i]->DestroyPeers();
  TControl::DestroyPeers();
}
