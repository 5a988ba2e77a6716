// Controls: the visual components of a form. A control is a plain object
// holding its properties; the window backend gives it a peer that shows it and
// is told whenever a property that changes the look has changed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "rtl/Object.h"
#include "ui/Graphics.h"

class TWinControl;
class TForm;
class TControlPeer;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  // Inserts the control as the topmost child of its new parent.
  virtual void SetParent(TWinControl* value);

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int value) { SetBounds(value, FTop, FWidth, FHeight); }
  void SetTop(int value) { SetBounds(FLeft, value, FWidth, FHeight); }
  void SetWidth(int value) { SetBounds(FLeft, FTop, value, FHeight); }
  void SetHeight(int value) { SetBounds(FLeft, FTop, FWidth, value); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

  const std::string& Caption() const { return FCaption; }
  virtual void SetCaption(const std::string& value);

  // With ParentColor set the control shows its parent's colour.
  TColor Color() const;
  void SetColor(TColor value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool value);

  const TFont& Font() const { return FFont; }
  virtual void SetFont(const TFont& value);

  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor value);

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool value);

  // The form the control lies on (nullptr while it has no parent).
  TForm* ParentForm() const;

  TMouseEvent OnMouseUp;
  // Runs OnMouseUp; the backend calls it when a mouse button is released over the control.
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);

  // The backend's peer, if the control is shown by one.
  TControlPeer* Peer() const { return FPeer; }
  void SetPeer(TControlPeer* peer) { FPeer = peer; }
  // Creates the peers of the control and its children (when its parent has one).
  virtual void CreatePeers();
  virtual void DestroyPeers();

 protected:
  // Tells the peer that the look changed.
  void Changed();

  TWinControl* FParent = nullptr;
  TControlPeer* FPeer = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  std::string FCaption;
  TColor FColor = clBlack;
  bool FParentColor = false;
  TFont FFont;
  TCursor FCursor = crDefault;
  bool FVisible = true;
};

// A control that holds other controls, in drawing order (later ones on top).
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const { return FControls.at(static_cast<size_t>(Index)); }

  void CreatePeers() override;
  void DestroyPeers() override;

 private:
  friend class TControl;
  std::vector<TControl*> FControls;
};
