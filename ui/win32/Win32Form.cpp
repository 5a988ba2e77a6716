// The peers of forms, panels and labels. A form is one top-level window; its
// panels and labels have no windows of their own but are drawn by it, in
// declaration order (later ones on top), into one off-screen bitmap per
// paint, so that the transparent title over its shadow and the panels'
// shared rows come out as laid out and nothing flickers. Mouse releases and
// the cursor go to the topmost control under the mouse.
#include <algorithm>

#include "ui/win32/Win32Internal.h"

#include <windowsx.h>

namespace ui {
namespace win32ui {
namespace {

const wchar_t kFormClass[] = L"VorlanxForm";

// A control's rectangle in its form's client coordinates.
RECT ClientRectOf(const TControl* c) {
  int x = c->Left(), y = c->Top();
  for (const TWinControl* p = c->Parent(); p && !dynamic_cast<const TForm*>(p); p = p->Parent()) {
    x += p->Left();
    y += p->Top();
  }
  return RECT{x, y, x + std::max(0, c->Width()), y + std::max(0, c->Height())};
}

void Fill(HDC dc, int left, int top, int right, int bottom, TColor color) {
  RECT r{left, top, right, bottom};
  HBRUSH brush = ::CreateSolidBrush(ColorOf(color));
  ::FillRect(dc, &r, brush);
  ::DeleteObject(brush);
}

void PaintPanel(HDC dc, const TPanel* panel, const RECT& r) {
  Fill(dc, r.left, r.top, r.right, r.bottom, panel->Color());
  if (panel->BevelOuter() == bvNone) return;
  TColor light = clWhite, dark = clGray;
  if (panel->BevelOuter() == bvLowered) std::swap(light, dark);
  const int w = r.right - r.left, h = r.bottom - r.top;
  for (int i = 0; i < panel->BevelWidth() && 2 * i < std::min(w, h); ++i) {
    // Inclusive edges; the dark right and bottom edges own the top-right and
    // bottom-left corners.
    int left = r.left + i, top = r.top + i, right = r.right - 1 - i, bottom = r.bottom - 1 - i;
    Fill(dc, left, top, right, top + 1, light);
    Fill(dc, left, top, left + 1, bottom, light);
    Fill(dc, right, top, right + 1, bottom + 1, dark);
    Fill(dc, left, bottom, right + 1, bottom + 1, dark);
  }
}

void PaintLabel(HDC dc, const TLabel* label, const RECT& r) {
  if (!label->Transparent()) Fill(dc, r.left, r.top, r.right, r.bottom, label->Color());
  HGDIOBJ old = ::SelectObject(dc, FontOf(label->Font()));
  ::SetTextColor(dc, ColorOf(label->Font().Color));
  ::SetBkMode(dc, TRANSPARENT);
  UINT format = DT_TOP | DT_NOPREFIX;
  if (label->Alignment() == taCenter) format |= DT_CENTER;
  if (label->Alignment() == taRightJustify) format |= DT_RIGHT;
  std::wstring text = Wide(label->Caption());
  RECT box = r;
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format);
  ::SelectObject(dc, old);
}

// Draws the children of a control clipped to the part of it that shows.
void PaintChildren(HDC dc, const TWinControl* parent, const RECT& visible) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    const TControl* c = parent->Controls(i);
    if (!c->Visible() || !c->Peer()) continue;
    RECT r = ClientRectOf(c), shown;
    if (!::IntersectRect(&shown, &r, &visible)) continue;
    int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, shown.left, shown.top, shown.right, shown.bottom);
    if (auto* panel = dynamic_cast<const TPanel*>(c)) {
      PaintPanel(dc, panel, r);
      PaintChildren(dc, panel, shown);
    } else if (auto* label = dynamic_cast<const TLabel*>(c)) {
      PaintLabel(dc, label, r);
    }
    ::RestoreDC(dc, saved);
  }
}

// The topmost visible control under a point of the client area (nullptr: the form itself).
TControl* ControlAt(const TWinControl* parent, POINT p) {
  for (int i = parent->ControlCount(); i-- > 0;) {
    TControl* c = parent->Controls(i);
    if (!c->Visible() || !c->Peer()) continue;
    RECT r = ClientRectOf(c);
    if (!::PtInRect(&r, p)) continue;
    if (auto* group = dynamic_cast<TWinControl*>(c))
      if (TControl* inner = ControlAt(group, p)) return inner;
    return c;
  }
  return nullptr;
}

bool Contains(const TWinControl* parent, const TControl* wanted) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    const TControl* c = parent->Controls(i);
    if (c == wanted) return true;
    if (auto* group = dynamic_cast<const TWinControl*>(c))
      if (Contains(group, wanted)) return true;
  }
  return false;
}

TShiftState ShiftOf(WPARAM keys) {
  TShiftState s = 0;
  if (keys & MK_SHIFT) s |= ssShift;
  if (keys & MK_CONTROL) s |= ssCtrl;
  if (::GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

struct TStyle {
  DWORD style, exStyle;
};

TStyle StyleOf(const TForm* form) {
  const TBorderIcons icons = form->BorderIcons();
  DWORD sys = (icons & biSystemMenu) ? WS_SYSMENU : 0;
  DWORD boxes = sys ? (((icons & biMinimize) ? WS_MINIMIZEBOX : 0) |
                       ((icons & biMaximize) ? WS_MAXIMIZEBOX : 0))
                    : 0;
  switch (form->BorderStyle()) {
    case bsNone:
      return {WS_POPUP, 0};
    case bsSingle:
      return {WS_OVERLAPPED | WS_CAPTION | sys | boxes, 0};
    case bsDialog:
      // A fixed dialog frame: no sizing, no minimise or maximise button.
      return {WS_POPUP | WS_CAPTION | sys, WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE};
    case bsToolWindow:
      return {WS_POPUP | WS_CAPTION | sys, WS_EX_TOOLWINDOW};
    case bsSizeToolWin:
      return {WS_POPUP | WS_CAPTION | WS_THICKFRAME | sys, WS_EX_TOOLWINDOW};
    case bsSizeable:
      break;
  }
  return {WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME | sys | boxes, 0};
}

class TFormWindow : public TFormPeer {
 public:
  explicit TFormWindow(TForm* form) : FForm(form) {
    Register();
    TStyle s = StyleOf(form);
    FWindow = ::CreateWindowExW(s.exStyle, kFormClass, Wide(form->Caption()).c_str(), s.style, 0,
                                0, 1, 1, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
    Sync();
  }
  ~TFormWindow() override {
    if (!FWindow) return;
    ::SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
    ::DestroyWindow(FWindow);
  }

  HWND Window() const { return FWindow; }
  TForm* Form() const { return FForm; }

  void Changed() override {
    Sync();
    Repaint();
  }
  void Repaint() {
    if (FWindow) ::InvalidateRect(FWindow, nullptr, FALSE);
  }
  void Show() override {
    Sync();
    if (!FWindow) return;
    ::ShowWindow(FWindow, SW_SHOWNORMAL);
    ::UpdateWindow(FWindow);
    ::SetForegroundWindow(FWindow);
  }
  void Hide() override {
    if (FWindow) ::ShowWindow(FWindow, SW_HIDE);
  }
  bool ScreenPosition(int& left, int& top) override {
    if (!FWindow || !::IsWindowVisible(FWindow) || ::IsIconic(FWindow)) return false;
    RECT r;
    if (!::GetWindowRect(FWindow, &r)) return false;
    left = r.left;
    top = r.top;
    return true;
  }

 private:
  static void Register() {
    static bool done = false;
    if (done) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.lpszClassName = kFormClass;
    ::RegisterClassW(&wc);
    done = true;
  }

  // The form's caption, frame and size; its position only when the form's
  // own position changed, otherwise the window stays where the user moved it.
  void Sync() {
    if (!FWindow) return;
    if (FForm->Caption() != FCaption) {
      FCaption = FForm->Caption();
      ::SetWindowTextW(FWindow, Wide(FCaption).c_str());
    }
    TStyle s = StyleOf(FForm);
    // Only the frame's bits are the form's; the system keeps others (visible,
    // clipping) of its own.
    constexpr DWORD kFrame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                             WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    constexpr DWORD kExFrame = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW;
    DWORD oldStyle = static_cast<DWORD>(::GetWindowLongPtrW(FWindow, GWL_STYLE));
    DWORD oldEx = static_cast<DWORD>(::GetWindowLongPtrW(FWindow, GWL_EXSTYLE));
    DWORD style = (oldStyle & ~kFrame) | s.style;
    DWORD exStyle = (oldEx & ~kExFrame) | (s.exStyle & kExFrame);
    bool restyled = style != oldStyle || exStyle != oldEx;
    if (restyled) {
      ::SetWindowLongPtrW(FWindow, GWL_STYLE, static_cast<LONG_PTR>(style));
      ::SetWindowLongPtrW(FWindow, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
    }
    RECT outer{0, 0, std::max(1, FForm->ClientWidth()), std::max(1, FForm->ClientHeight())};
    ::AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    const TControl* c = FForm;  // the form's own values, not where the window is now
    bool move = !FPlaced || c->Left() != FLeft || c->Top() != FTop;
    if (move) {
      FLeft = c->Left();
      FTop = c->Top();
      FPlaced = true;
    }
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (move ? 0 : SWP_NOMOVE) |
                 (restyled ? SWP_FRAMECHANGED : 0);
    ::SetWindowPos(FWindow, nullptr, FLeft, FTop, outer.right - outer.left,
                   outer.bottom - outer.top, flags);
  }

  void Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(FWindow, &ps);
    RECT client;
    ::GetClientRect(FWindow, &client);
    HDC mem = ::CreateCompatibleDC(dc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(dc, std::max<LONG>(1, client.right),
                                              std::max<LONG>(1, client.bottom));
    HGDIOBJ old = ::SelectObject(mem, bitmap);
    Fill(mem, 0, 0, client.right, client.bottom, FForm->Color());
    PaintChildren(mem, FForm, client);
    ::BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
    ::SelectObject(mem, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(mem);
    ::EndPaint(FWindow, &ps);
  }

  void ButtonDown(LPARAM lParam) {
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    FPressed = ControlAt(FForm, p);
    ::SetCapture(FWindow);
  }

  // The control the button went down on gets the release, as it would with
  // its own window; the point is in its coordinates.
  void ButtonUp(TMouseButton button, WPARAM keys, LPARAM lParam) {
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    TControl* target = FPressed && Contains(FForm, FPressed) ? FPressed : ControlAt(FForm, p);
    FPressed = nullptr;
    if (!(keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) ::ReleaseCapture();
    if (!target) return;
    RECT r = ClientRectOf(target);
    TShiftState shift = ShiftOf(keys);
    int x = p.x - r.left, y = p.y - r.top;
    Guarded([=] { target->MouseUp(button, shift, x, y); });
  }

  bool SetCursorFor(LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return false;
    POINT p;
    ::GetCursorPos(&p);
    ::ScreenToClient(FWindow, &p);
    TControl* c = ControlAt(FForm, p);
    TCursor cursor = c ? c->Cursor() : FForm->Cursor();
    LPCWSTR shape = cursor == crHandPoint ? reinterpret_cast<LPCWSTR>(IDC_HAND)
                                          : reinterpret_cast<LPCWSTR>(IDC_ARROW);
    ::SetCursor(::LoadCursorW(nullptr, shape));
    return true;
  }

  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_PAINT:
        Paint();
        return 0;
      case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        ButtonDown(lParam);
        return 0;
      case WM_LBUTTONUP:
        ButtonUp(mbLeft, wParam, lParam);
        return 0;
      case WM_RBUTTONUP:
        ButtonUp(mbRight, wParam, lParam);
        return 0;
      case WM_MBUTTONUP:
        ButtonUp(mbMiddle, wParam, lParam);
        return 0;
      case WM_CAPTURECHANGED:
        FPressed = nullptr;
        return 0;
      case WM_SETCURSOR:
        if (SetCursorFor(lParam)) return TRUE;
        break;
      case WM_ENDSESSION:
        // The session ends and the process with it once this returns: the
        // form's destruction handler (which saves the settings) runs now,
        // and only once, whatever happens afterwards.
        if (wParam) {
          TForm* form = FForm;
          Guarded([form] { form->BeforeDestruction(); });
        }
        return 0;
      case WM_CLOSE: {
        TForm* form = FForm;
        Guarded([form] { form->Close(); });
        return 0;  // the form decides; the window stays until its peer goes
      }
      default:
        break;
    }
    return ::DefWindowProcW(FWindow, msg, wParam, lParam);
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
      auto* self = static_cast<TFormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->FWindow = hwnd;
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TFormWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->Handle(msg, wParam, lParam);
  }

  TForm* FForm;
  HWND FWindow = nullptr;
  std::string FCaption;
  bool FPlaced = false;
  int FLeft = 0, FTop = 0;  // the form's position as last applied
  TControl* FPressed = nullptr;
};

TFormWindow* FormWindowOf(const TControl* control) {
  TForm* form = control->ParentForm();
  return form ? dynamic_cast<TFormWindow*>(form->Peer()) : nullptr;
}

// A panel or label: drawn by its form, so a change only asks the form to repaint.
class TGraphicPeer : public TControlPeer {
 public:
  explicit TGraphicPeer(TControl* control) : FControl(control) { Changed(); }
  ~TGraphicPeer() override { Changed(); }
  void Changed() override {
    if (TFormWindow* w = FormWindowOf(FControl)) w->Repaint();
  }

 private:
  TControl* FControl;
};

}  // namespace

TFormPeer* NewFormPeer(TForm* form) {
  auto* peer = new TFormWindow(form);
  if (peer->Window()) return peer;
  delete peer;
  return nullptr;
}

TControlPeer* NewControlPeer(TControl* control) {
  if (!FormWindowOf(control)) return nullptr;
  return new TGraphicPeer(control);
}

HWND MainWindow() {
  TApplication* app = FormsApplication();
  TForm* form = app ? app->MainForm() : nullptr;
  auto* peer = form ? dynamic_cast<TFormWindow*>(form->Peer()) : nullptr;
  if (!peer || !::IsWindowVisible(peer->Window())) return nullptr;
  return peer->Window();
}

}  // namespace win32ui
}  // namespace ui
