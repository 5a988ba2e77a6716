// Word from the MIDI service that destinations came or went, handed over to
// the loop's thread: the service says it on a thread of its own, a hidden
// window of this thread receives it. The loop wakes for such an event only.
#pragma once

#include <atomic>
#include <functional>

#include "platform/win32/win32.h"

class TDeviceWatch {
 public:
  // OnChange runs on the creating thread, once for any number of changes said
  // before it ran.
  explicit TDeviceWatch(std::function<void()> OnChange);
  ~TDeviceWatch();
  TDeviceWatch(const TDeviceWatch&) = delete;
  TDeviceWatch& operator=(const TDeviceWatch&) = delete;

 private:
  static void Notify(void* Self);
  static win32::LRESULT Proc(win32::HWND Window, win32::UINT Message, win32::WPARAM WParam,
                             win32::LPARAM LParam);

  std::function<void()> FOnChange;
  win32::HWND FWindow = nullptr;
  std::atomic<bool> FPosted{false};
  bool FWatching = false;  // false where the platform cannot tell (Windows)
};
