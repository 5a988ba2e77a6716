// The FLTK backend: opens the display and bridges the thread's wait handle into
// FLTK with Fl::add_fd, so every FLTK wait (the run loop, dialogs, menus) keeps
// dispatching posted messages, socket notifications and termination requests.
//
// When the X server goes away (a logout), Xlib would end the process on the
// spot and the settings would be lost: instead the application is terminated
// as by a signal, so the forms are destroyed normally, and what would have
// been an error box becomes a line on standard error.
#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <exception>

#include "platform/win32/win32.h"
#include "rtl/Application.h"
#include "rtl/StderrLine.h"
#include "ui/Forms.h"
#include "ui/TerminateSignal.h"
#include "ui/fltk/FltkInternal.h"

namespace ui {
namespace fltk {

namespace {

bool g_displayLost = false;

int OnXError(Display* d, XErrorEvent* e) {
  char text[256];
  XGetErrorText(d, e->error_code, text, sizeof text);
  WriteStderrLine(std::string("X error: ") + text + " (request " + std::to_string(e->request_code) +
                  ")");
  return 0;
}

// FLTK's own warnings and errors, one line each like every other message.
void OnFltkMessage(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  WriteStderrLine(text);
}

// Quiet: the program says it once the settings are saved.
int OnXIOError(Display*) { return 0; }

// Called instead of exit() when the connection is lost; Xlib calls on the
// display do nothing from then on.
void OnDisplayLost(Display* display, void*) {
  if (g_displayLost) return;
  g_displayLost = true;
  Fl::remove_fd(ConnectionNumber(display));  // it stays readable (end of file)
  // An open popup menu runs its own loop until it is dismissed: dismiss it.
  if (Fl_Window* grab = Fl::grab()) {
    Fl::e_keysym = FL_Escape;
    Fl::handle(FL_KEYBOARD, grab);
  }
  Application->Terminate();
}

void OnQueueReady(FL_SOCKET, void*) {
  Guarded([] { Application->TApplicationCore::ProcessMessages(); });
  Guarded(HandleTerminateRequest);
}

int DispatchEvent(int event, Fl_Window* window) {
  if ((event == FL_KEYDOWN || event == FL_KEYUP) && !KeyPassesHooks(event)) return 1;
  return Fl::handle_(event, window);
}

class TFltkBackend : public TUiBackend {
 public:
  bool Headless() const override { return false; }
  bool DisplayLost() const override { return g_displayLost; }
  TFormPeer* CreateFormPeer(TForm* form) override { return NewFormPeer(form); }
  TControlPeer* CreateControlPeer(TControl* control) override { return NewControlPeer(control); }

  void HandleMessage() override { Fl::wait(1e20); }
  void ProcessEvents() override { Fl::check(); }

  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override {
    return !g_displayLost && fltk::InputQuery(caption, prompt, value);
  }
  void ErrorBox(const std::string& title, const std::string& text) override {
    if (g_displayLost)
      WriteStderrLine(title, text);
    else
      fltk::ErrorBox(title, text);
  }
  void Popup(TPopupMenu* menu, int x, int y) override {
    if (!g_displayLost) fltk::Popup(menu, x, y);
  }

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

bool DisplayLost() { return g_displayLost; }

}  // namespace fltk

TUiBackend* CreateWindowBackend() {
  static fltk::TFltkBackend* backend = []() -> fltk::TFltkBackend* {
    // Opened here rather than by FLTK, which ends the program when it cannot.
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
      const char* name = XDisplayName(nullptr);
      if (name && *name)
        WriteStderrLine(std::string("cannot open display ") + name + ", running without a window");
      return nullptr;
    }
    fl_open_display(display);
    Fl::warning = fltk::OnFltkMessage;
    Fl::error = fltk::OnFltkMessage;
    XSetErrorHandler(fltk::OnXError);
    XSetIOErrorHandler(fltk::OnXIOError);
    XSetIOErrorExitHandler(display, fltk::OnDisplayLost, nullptr);
    Fl::event_dispatch(fltk::DispatchEvent);
    Fl::add_fd(win32::GetQueueWaitHandle(), FL_READ, fltk::OnQueueReady);
    return new fltk::TFltkBackend;
  }();
  return backend;
}

}  // namespace ui
