// The FLTK backend: opens the display, watches the thread's wait handle and the
// termination pipe with Fl::add_fd so every FLTK wait (the run loop, dialogs,
// menus) keeps dispatching posted messages and socket notifications.
#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cstdio>
#include <exception>

#include "platform/win32/win32.h"
#include "rtl/Application.h"
#include "ui/Forms.h"
#include "ui/TerminateSignal.h"
#include "ui/fltk/FltkInternal.h"

namespace ui {
namespace fltk {

void Guarded(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    Application->HandleException(e);
  }
}

namespace {

int OnXError(Display* d, XErrorEvent* e) {
  char text[256];
  XGetErrorText(d, e->error_code, text, sizeof text);
  std::fprintf(stderr, "X error: %s (request %d)\n", text, e->request_code);
  return 0;
}

void OnQueueReady(FL_SOCKET, void*) {
  Guarded([] { Application->TApplicationCore::ProcessMessages(); });
}

void OnTerminateRequest(FL_SOCKET, void*) { Guarded(HandleTerminateRequest); }

int DispatchEvent(int event, Fl_Window* window) {
  if ((event == FL_KEYDOWN || event == FL_KEYUP) && !KeyPassesHooks(event)) return 1;
  return Fl::handle_(event, window);
}

class TFltkBackend : public TUiBackend {
 public:
  bool Headless() const override { return false; }
  TFormPeer* CreateFormPeer(TForm* form) override { return NewFormPeer(form); }
  TControlPeer* CreateControlPeer(TControl* control) override { return NewControlPeer(control); }

  void HandleMessage() override { Fl::wait(1e20); }
  void ProcessEvents() override { Fl::check(); }

  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override {
    return fltk::InputQuery(caption, prompt, value);
  }
  void ErrorBox(const std::string& title, const std::string& text) override {
    fltk::ErrorBox(title, text);
  }
  void Popup(TPopupMenu* menu, int x, int y) override { fltk::Popup(menu, x, y); }

  TPoint CursorPos() override {
    TPoint p;
    Fl::get_mouse(p.x, p.y);
    return p;
  }

  bool TextExtent(const TFont& font, const std::string& text, int& width, int& height) override {
    fl_font(FontOf(font), font.Height > 0 ? font.Height : 1);
    width = 0;
    height = 0;
    if (text.empty()) {
      height = fl_height();
      return true;
    }
    fl_measure(text.c_str(), width, height, 0);
    return true;
  }
};

}  // namespace
}  // namespace fltk

TUiBackend* CreateFltkBackend() {
  static fltk::TFltkBackend* backend = []() -> fltk::TFltkBackend* {
    // Opened here rather than by FLTK, which ends the program when it cannot.
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    XSetErrorHandler(fltk::OnXError);
    fl_open_display(display);
    Fl::event_dispatch(fltk::DispatchEvent);
    Fl::add_fd(win32::GetQueueWaitHandle(), FL_READ, fltk::OnQueueReady);
    int signalFd = TerminateSignalHandle();
    if (signalFd >= 0) Fl::add_fd(signalFd, FL_READ, fltk::OnTerminateRequest);
    return new fltk::TFltkBackend;
  }();
  return backend;
}

}  // namespace ui
