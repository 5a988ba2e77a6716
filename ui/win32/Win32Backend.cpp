// The Win32 backend: real windows on user32 and gdi32. The thread's one
// message queue carries the window's input, the sockets' notifications (posted
// to their hidden windows) and termination requests, so the run loop is the
// plain GetMessage / DispatchMessage loop, and every modal loop the system runs
// (dialogs, the menu, message boxes) goes on dispatching all of them.
#include <exception>

#include "ui/win32/Win32Internal.h"

namespace ui {
namespace win32ui {

bool DispatchOne() {
  MSG msg;
  if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    Application->Terminate();
    return false;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageA(&msg);
  return true;
}

void ServeSystemQueue() {
  if (TApplicationCore::ProcessMessageHook()) return;
  TApplicationCore::SetProcessMessageHook([](bool& quit) {
    MSG msg;
    if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
      quit = true;
    } else {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    return true;
  });
}

bool CanCreateWindows() {
  HWND probe = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 ::GetModuleHandleA(nullptr), nullptr);
  if (!probe) return false;
  ::DestroyWindow(probe);
  return true;
}

namespace {

class TWin32Backend : public TUiBackend {
 public:
  bool Headless() const override { return false; }
  TFormPeer* CreateFormPeer(TForm* form) override { return NewFormPeer(form); }
  TControlPeer* CreateControlPeer(TControl* control) override { return NewControlPeer(control); }

  // Sleeps in GetMessage until the queue has something, then empties it.
  void HandleMessage() override {
    MSG msg;
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      Application->Terminate();  // WM_QUIT
      return;
    }
    if (got > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    // What else is waiting, unless a handler ended the run (a flood of
    // datagrams must not keep the loop from seeing that).
    while (!Application->Terminated() && DispatchOne()) {
    }
  }

  void ProcessEvents() override {
    while (DispatchOne()) {
    }
  }

  void Terminating() override { EndModalLoops(); }

  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override {
    return win32ui::InputQuery(caption, prompt, value);
  }
  void ErrorBox(const std::string& title, const std::string& text) override {
    win32ui::ErrorBox(title, text);
  }
  void Popup(TPopupMenu* menu, int x, int y) override { win32ui::Popup(menu, x, y); }

  TPoint CursorPos() override {
    POINT p{0, 0};
    ::GetCursorPos(&p);
    return TPoint{static_cast<int>(p.x), static_cast<int>(p.y)};
  }

  bool TextExtent(const TFont& font, const std::string& text, int& width, int& height) override {
    MeasureText(font, text, width, height);
    return true;
  }
};

}  // namespace
}  // namespace win32ui

TUiBackend* CreateWindowBackend() {
  win32ui::ServeSystemQueue();
  static TUiBackend* backend =
      win32ui::CanCreateWindows() ? new win32ui::TWin32Backend : nullptr;
  return backend;
}

}  // namespace ui
