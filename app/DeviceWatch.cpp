#include "app/DeviceWatch.h"

#include "platform/win32/HiddenWindow.h"
#include "platform/winmm/winmm.h"

namespace {

constexpr const char* kClassName = "VorlanxDeviceWatch";
constexpr win32::UINT kChanged = win32::WM_USER + 1;

}  // namespace

TDeviceWatch::TDeviceWatch(std::function<void()> OnChange) : FOnChange(std::move(OnChange)) {
  FWindow = win32::CreateHiddenWindow(kClassName, Proc, this);
  if (FWindow) FWatching = winmm::midiOutNotifyChanges(Notify, this);
}

TDeviceWatch::~TDeviceWatch() {
  // Once it returns, no notification runs or comes any more.
  if (FWatching) winmm::midiOutNotifyChanges(nullptr, nullptr);
  if (!FWindow) return;
  // A message still queued then finds no object.
  win32::SetWindowLongPtrA(FWindow, 0, 0);
  win32::DestroyWindow(FWindow);
}

// On the service's thread: a burst of changes (a client's ports going one by
// one) is one message.
void TDeviceWatch::Notify(void* Self) {
  auto* self = static_cast<TDeviceWatch*>(Self);
  if (!self->FPosted.exchange(true)) win32::PostMessageA(self->FWindow, kChanged, 0, 0);
}

win32::LRESULT TDeviceWatch::Proc(win32::HWND Window, win32::UINT Message, win32::WPARAM WParam,
                                  win32::LPARAM LParam) {
  if (Message != kChanged) return win32::DefWindowProcA(Window, Message, WParam, LParam);
  auto* self = reinterpret_cast<TDeviceWatch*>(win32::GetWindowLongPtrA(Window, 0));
  if (self == nullptr) return 0;
  // Cleared first: a change said while the handler runs brings another message.
  self->FPosted.store(false);
  self->FOnChange();
  return 0;
}
