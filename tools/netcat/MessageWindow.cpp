#include "tools/netcat/MessageWindow.h"

#include <stdexcept>

namespace vxcat {

namespace {
constexpr const char* kClassName = "VxcatMessageWindow";
}

TMessageWindow::TMessageWindow() {
  win32::HINSTANCE instance = win32::GetModuleHandleA(nullptr);
  win32::WNDCLASSA wc = {};
  if (!win32::GetClassInfoA(instance, kClassName, &wc)) {
    wc = {};
    wc.lpfnWndProc = Proc;
    wc.cbWndExtra = sizeof(win32::LONG_PTR);
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    if (!win32::RegisterClassA(&wc))
      throw std::runtime_error("cannot register the message window class");
  }
  FWindow = win32::CreateWindowExA(0, kClassName, "", win32::WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   instance, nullptr);
  if (!FWindow) throw std::runtime_error("cannot create the message window");
  win32::SetWindowLongPtrA(FWindow, 0, reinterpret_cast<win32::LONG_PTR>(this));
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
