#include "tools/netcat/MessageWindow.h"

#include <stdexcept>

#include "platform/win32/HiddenWindow.h"

namespace vxcat {

namespace {
constexpr const char* kClassName = "VxcatMessageWindow";
}

TMessageWindow::TMessageWindow() {
  FWindow = win32::CreateHiddenWindow(kClassName, Proc, this);
  if (!FWindow) throw std::runtime_error("cannot create the message window");
}

TMessageWindow::~TMessageWindow() {
  // Messages still queued then find no object.
  win32::SetWindowLongPtrA(FWindow, 0, 0);
  win32::DestroyWindow(FWindow);
  win32::UnregisterClassA(kClassName, win32::GetModuleHandleA(nullptr));
}

void TMessageWindow::Post(win32::UINT Message, win32::WPARAM WParam, win32::LPARAM LParam) {
  win32::PostMessageA(FWindow, Message, WParam, LParam);
}

win32::LRESULT TMessageWindow::Proc(win32::HWND Window, win32::UINT Message, win32::WPARAM WParam,
                                    win32::LPARAM LParam) {
  auto* self = reinterpret_cast<TMessageWindow*>(win32::GetWindowLongPtrA(Window, 0));
  if (self) {
    auto it = self->FHandlers.find(Message);
    if (it != self->FHandlers.end()) {
      THandler handler = it->second;  // the handler may replace itself
      handler(WParam, LParam);
      return 0;
    }
  }
  return win32::DefWindowProcA(Window, Message, WParam, LParam);
}

}  // namespace vxcat
