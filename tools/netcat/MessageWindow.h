// A hidden window of the loop's thread whose messages run callbacks: the way
// deferred work and posted read steps get into the loop.
#pragma once

#include <functional>
#include <map>

#include "platform/win32/win32.h"

namespace vxcat {

class TMessageWindow {
 public:
  using THandler = std::function<void(win32::WPARAM, win32::LPARAM)>;

  TMessageWindow();  // raises std::runtime_error when no window can be made
  ~TMessageWindow();
  TMessageWindow(const TMessageWindow&) = delete;
  TMessageWindow& operator=(const TMessageWindow&) = delete;

  win32::HWND Handle() const { return FWindow; }
  void On(win32::UINT Message, THandler Handler) { FHandlers[Message] = std::move(Handler); }
  void Off(win32::UINT Message) { FHandlers.erase(Message); }
  void Post(win32::UINT Message, win32::WPARAM WParam = 0, win32::LPARAM LParam = 0);

 private:
  static win32::LRESULT Proc(win32::HWND Window, win32::UINT Message, win32::WPARAM WParam,
                             win32::LPARAM LParam);
  win32::HWND FWindow = nullptr;
  std::map<win32::UINT, THandler> FHandlers;
};

}  // namespace vxcat
