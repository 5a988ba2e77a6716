// The backend without a display: no window is shown, the run loop sleeps in
// the thread's wait handle (whose watches include the termination pipe), and
// the error box becomes one line on standard error.
#include "platform/win32/win32.h"
#include "rtl/Application.h"
#include "rtl/StderrLine.h"
#include "ui/Backend.h"
#include "ui/TerminateSignal.h"

namespace ui {
namespace {

class THeadlessBackend : public TUiBackend {
 public:
  bool Headless() const override { return true; }
  TFormPeer* CreateFormPeer(TForm*) override { return nullptr; }
  TControlPeer* CreateControlPeer(TControl*) override { return nullptr; }

  // One system call per wake-up for the waiting: the wait itself collects the
  // socket notifications the messages then deliver, and takes a termination
  // request from its pipe.
  void HandleMessage() override {
    win32::WaitForQueue(-1);
    Application->TApplicationCore::ProcessMessages();
    HandleTerminateRequest();
  }

  void ProcessEvents() override { HandleTerminateRequest(); }

  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }

  void ErrorBox(const std::string& Title, const std::string& Text) override {
    WriteStderrLine(Title, Text);
  }

  void Popup(TPopupMenu*, int, int) override {}
  TPoint CursorPos() override { return TPoint{}; }
  bool TextExtent(const TFont&, const std::string&, int&, int&) override { return false; }
};

}  // namespace

TUiBackend* CreateHeadlessBackend() {
  static THeadlessBackend backend;
  return &backend;
}

}  // namespace ui
