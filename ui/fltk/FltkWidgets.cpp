// The peers of forms, panels and labels: FLTK widgets that draw the framework's
// controls from their properties.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"
#include "ui/fltk/FltkInternal.h"

namespace ui {
namespace fltk {
namespace {

// X11 keeps positions and sizes in 16 bits; the framework's values are kept as
// they are, only what reaches the window is bounded.
int Coordinate(int v) { return std::clamp(v, -32768, 32767); }
int Extent(int v) { return std::clamp(v, 0, 32767); }

// FLTK places every widget in its window's coordinates.
void WindowPosition(const TControl* c, int& x, int& y) {
  x = c->Left();
  y = c->Top();
  for (const TWinControl* p = c->Parent(); p && !dynamic_cast<const TForm*>(p); p = p->Parent()) {
    x += p->Left();
    y += p->Top();
  }
}

void RedrawWindow(Fl_Widget* w) {
  if (Fl_Window* win = w->window())
    win->redraw();
  else
    w->redraw();
}

// Places the widget where its control says and shows or hides it.
void SyncWidget(Fl_Widget* w, const TControl* c) {
  int x = 0, y = 0;
  WindowPosition(c, x, y);
  w->resize(Coordinate(x), Coordinate(y), Extent(c->Width()), Extent(c->Height()));
  if (c->Visible())
    w->show();
  else
    w->hide();
}

void ChildrenChanged(const TWinControl* c) {
  for (int i = 0; i < c->ControlCount(); ++i)
    if (TControlPeer* p = c->Controls(i)->Peer()) p->Changed();
}

class TFormWindow : public Fl_Double_Window, public TFormPeer {
 public:
  explicit TFormWindow(TForm* form) : Fl_Double_Window(1, 1), FForm(form) {
    end();
    box(FL_FLAT_BOX);
    callback(OnClose, this);
    Sync();
  }
  ~TFormWindow() override { hide(); }

  void Changed() override {
    Sync();
    redraw();
    ChildrenChanged(FForm);
  }
  void Show() override {
    Sync();
    show();
    // FLTK may have pulled the window onto the screen; where the form says it
    // is stays the same until the user moves the window. FLTK knows where the
    // window went once it is mapped.
    WaitForExpose(this);
    int frameLeft = 0, frameTop = 0;
    FrameExtents(this, frameLeft, frameTop);
    FBaseX = x() - frameLeft;
    FBaseY = y() - frameTop;
    if (Fixed()) SetDialogDecorations(this);
  }
  void Hide() override { hide(); }
  bool ScreenPosition(int& left, int& top) override {
    if (!shown()) return false;
    // The window manager's frame moved the client area. Once the display is
    // gone, the frame last seen (where the user left the window is still known).
    if (!DisplayLost()) FrameExtents(this, FFrameLeft, FFrameTop);
    left = FLeft + (x() - FFrameLeft - FBaseX);
    top = FTop + (y() - FFrameTop - FBaseY);
    return true;
  }

 private:
  bool Fixed() const {
    return FForm->BorderStyle() != bsSizeable && FForm->BorderStyle() != bsSizeToolWin;
  }

  void Sync() {
    if (label() == nullptr || FForm->Caption() != label()) copy_label(FForm->Caption().c_str());
    color(ColorOf(FForm->Color()));
    int w = std::max(1, Extent(FForm->ClientWidth())),
        h = std::max(1, Extent(FForm->ClientHeight()));
    // The window goes where the form says only when the form's position changed:
    // otherwise it stays where the user moved it.
    const TControl* c = FForm;
    bool move = !FPlaced || c->Left() != FLeft || c->Top() != FTop;
    if (move) {
      FLeft = c->Left();
      FTop = c->Top();
      FPlaced = true;
    }
    if (move || w != this->w() || h != this->h())
      resize(move ? Coordinate(FLeft) : x(), move ? Coordinate(FTop) : y(), w, h);
    if (move) {
      force_position(1);  // also at 0, 0, where FLTK would choose a place itself
      int frameLeft = 0, frameTop = 0;
      FrameExtents(this, frameLeft, frameTop);
      FBaseX = x() - frameLeft;
      FBaseY = y() - frameTop;
    }
    if (Fixed())
      size_range(w, h, w, h);
    else
      size_range(1, 1);
  }

  static void OnClose(Fl_Widget*, void* data) {
    // Esc does not close a form; the close button does.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    TForm* form = static_cast<TFormWindow*>(data)->FForm;
    Guarded([form] { form->Close(); });
  }

  TForm* FForm;
  bool FPlaced = false;
  int FLeft = 0, FTop = 0;            // the form's position as last applied
  int FBaseX = 0, FBaseY = 0;         // where the window went for it
  int FFrameLeft = 0, FFrameTop = 0;  // the window manager's frame, as last seen
};

class TPanelGroup : public Fl_Group, public TControlPeer {
 public:
  explicit TPanelGroup(TPanel* panel) : Fl_Group(0, 0, 1, 1), FPanel(panel) {
    end();
    resizable(nullptr);
    clip_children(1);
    SyncWidget(this, FPanel);
  }
  ~TPanelGroup() override {
    if (parent()) parent()->remove(this);
  }

  void Changed() override {
    SyncWidget(this, FPanel);
    RedrawWindow(this);
    ChildrenChanged(FPanel);
  }

  void draw() override {
    fl_rectf(x(), y(), w(), h(), ColorOf(FPanel->Color()));
    if (FPanel->BevelOuter() != bvNone) {
      TColor light = clWhite, dark = clGray;
      if (FPanel->BevelOuter() == bvLowered) std::swap(light, dark);
      for (int i = 0; i < FPanel->BevelWidth() && 2 * i < std::min(w(), h()); ++i) {
        int l = x() + i, t = y() + i, r = x() + w() - 1 - i, b = y() + h() - 1 - i;
        // Light top and left edges, dark right and bottom ones; the dark edges
        // own the top-right and bottom-left corners.
        fl_color(ColorOf(light));
        fl_xyline(l, t, r - 1);
        fl_yxline(l, t, b - 1);
        fl_color(ColorOf(dark));
        fl_yxline(r, t, b);
        fl_xyline(l, b, r);
      }
    }
    draw_children();
  }

 private:
  TPanel* FPanel;
};

class TLabelWidget : public Fl_Widget, public TControlPeer {
 public:
  explicit TLabelWidget(TLabel* label) : Fl_Widget(0, 0, 1, 1), FLabel(label) {
    SyncWidget(this, FLabel);
  }
  ~TLabelWidget() override {
    if (parent()) parent()->remove(this);
  }

  void Changed() override {
    SyncWidget(this, FLabel);
    RedrawWindow(this);
  }

  void draw() override {
    fl_push_clip(x(), y(), w(), h());
    if (!FLabel->Transparent()) fl_rectf(x(), y(), w(), h(), ColorOf(FLabel->Color()));
    const TFont& font = FLabel->Font();
    fl_font(FontOf(font), std::max(1, font.Height));
    fl_color(ColorOf(font.Color));
    Fl_Align align = FL_ALIGN_TOP | FL_ALIGN_INSIDE;
    if (FLabel->Alignment() == taLeftJustify) align |= FL_ALIGN_LEFT;
    if (FLabel->Alignment() == taRightJustify) align |= FL_ALIGN_RIGHT;
    fl_draw(FLabel->Caption().c_str(), x(), y(), w(), h(), align, nullptr, 0);
    fl_pop_clip();
  }

  int handle(int event) override {
    switch (event) {
      case FL_ENTER:
        if (window())
          window()->cursor(FLabel->Cursor() == crHandPoint ? FL_CURSOR_HAND : FL_CURSOR_DEFAULT);
        return 1;
      case FL_LEAVE:
        if (window()) window()->cursor(FL_CURSOR_DEFAULT);
        return 1;
      case FL_MOVE:
      case FL_PUSH:
      case FL_DRAG:
        return 1;
      case FL_RELEASE: {
        TMouseButton button = Fl::event_button() == FL_RIGHT_MOUSE    ? mbRight
                              : Fl::event_button() == FL_MIDDLE_MOUSE ? mbMiddle
                                                                      : mbLeft;
        int state = Fl::event_state();
        TShiftState shift = ((state & FL_SHIFT) ? ssShift : 0) | ((state & FL_ALT) ? ssAlt : 0) |
                            ((state & FL_CTRL) ? ssCtrl : 0);
        int mx = Fl::event_x() - x(), my = Fl::event_y() - y();
        TLabel* label = FLabel;
        Guarded([=] { label->MouseUp(button, shift, mx, my); });
        return 1;
      }
      default:
        return Fl_Widget::handle(event);
    }
  }

 private:
  TLabel* FLabel;
};

// A control of a kind without a look of its own: an empty area.
class TPlainWidget : public Fl_Widget, public TControlPeer {
 public:
  explicit TPlainWidget(TControl* control) : Fl_Widget(0, 0, 1, 1), FControl(control) {
    SyncWidget(this, control);
  }
  ~TPlainWidget() override {
    if (parent()) parent()->remove(this);
  }
  void Changed() override { SyncWidget(this, FControl); }
  void draw() override {}

 private:
  TControl* FControl;
};

}  // namespace

TFormPeer* NewFormPeer(TForm* form) {
  Fl_Group::current(nullptr);
  return new TFormWindow(form);
}

TControlPeer* NewControlPeer(TControl* control) {
  Fl_Group* group =
      control->Parent() ? dynamic_cast<Fl_Group*>(control->Parent()->Peer()) : nullptr;
  if (!group) return nullptr;
  Fl_Group::current(nullptr);
  Fl_Widget* widget = nullptr;
  TControlPeer* peer = nullptr;
  if (auto* panel = dynamic_cast<TPanel*>(control)) {
    auto* p = new TPanelGroup(panel);
    widget = p;
    peer = p;
  } else if (auto* label = dynamic_cast<TLabel*>(control)) {
    auto* p = new TLabelWidget(label);
    widget = p;
    peer = p;
  } else {
    auto* p = new TPlainWidget(control);
    widget = p;
    peer = p;
  }
  group->add(widget);
  RedrawWindow(widget);
  return peer;
}

}  // namespace fltk
}  // namespace ui
