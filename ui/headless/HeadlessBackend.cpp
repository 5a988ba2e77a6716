// The backend without a display: no window is shown, the run loop sleeps in
// poll() on the thread's wait handle and the termination pipe, and the error
// box becomes one line on standard error.
#include <poll.h>

#include <cerrno>
#include <cstdio>

#include "platform/win32/win32.h"
#include "rtl/Application.h"
#include "ui/Backend.h"
#include "ui/TerminateSignal.h"

namespace ui {
namespace {

class THeadlessBackend : public TUiBackend {
public:
  THeadlessBackend() : FSignal(TerminateSignalHandle()) {}

  bool Headless() const override { return true; }
  TFormPeer* CreateFormPeer(TForm*) override { return nullptr; }
  TControlPeer* CreateControlPeer(TControl*) override { return nullptr; }

  void HandleMessage() override {
    pollfd fds[2] = {{win32::GetQueueWaitHandle(), POLLIN, 0}, {FSignal, POLLIN, 0}};
    int n = ::poll(fds, FSignal >= 0 ? 2 : 1, -1);
    if (n < 0 && errno != EINTR) return;
    Application->TApplicationCore::ProcessMessages();
    HandleTerminateRequest();
  }

  void ProcessEvents() override { HandleTerminateRequest(); }

  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }

  void ErrorBox(const std::string& Title, const std::string& Text) override {
    std::string line = Title + ": " + Text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }

  void Popup(TPopupMenu*, int, int) override {}
  TPoint CursorPos() override { return TPoint{}; }
  bool TextExtent(const TFont&, const std::string&, int&, int&) override { return false; }

private:
  int FSignal;
};

}  // namespace

TUiBackend* CreateHeadlessBackend() {
  static THeadlessBackend backend;
  return &backend;
}

}  // namespace ui
