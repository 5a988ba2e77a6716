#include "app/ServiceReport.h"

#include "app/ServiceNotifier.h"

namespace {

constexpr const char* kClassName = "VorlanxServiceReport";
constexpr win32::UINT_PTR kStatusTimer = 1;
constexpr win32::UINT_PTR kWatchdogTimer = 2;
// The status follows the counts at most this often.
constexpr win32::UINT kStatusPeriodMs = 1000;

}  // namespace

TServiceReport::TServiceReport(const TRelayCounts& Counts, std::function<std::string()> StartLine)
    : FCounts(Counts), FStartLine(std::move(StartLine)) {
  if (!service::NotifyWanted()) return;
  // Timers need a window; this one is never shown. Its class stays registered
  // for the rest of the process.
  static const bool registered = [] {
    win32::WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &TServiceReport::Proc;
    windowClass.cbWndExtra = sizeof(win32::LONG_PTR);
    windowClass.lpszClassName = kClassName;
    return win32::RegisterClassA(&windowClass) != 0;
  }();
  if (registered)
    FWindow = win32::CreateWindowExA(0, kClassName, "", win32::WS_POPUP, 0, 0, 0, 0, nullptr,
                                     nullptr, nullptr, nullptr);
  if (FWindow) win32::SetWindowLongPtrA(FWindow, 0, reinterpret_cast<win32::LONG_PTR>(this));
}

TServiceReport::~TServiceReport() {
  if (!FWindow) return;
  win32::SetWindowLongPtrA(FWindow, 0, 0);
  win32::DestroyWindow(FWindow);  // its timers with it
}

void TServiceReport::Ready() {
  if (!FWindow) return;
  FReported = FCounts.Received;
  service::Notify("READY=1\nSTATUS=" + FStartLine());
  // The keep-alive comes from the loop, so a loop that hangs stops it: the
  // only periodic wake-up, and only when the manager asked for it.
  if (const uint32_t period = service::WatchdogPeriodMs())
    win32::SetTimer(FWindow, kWatchdogTimer, period, nullptr);
}

void TServiceReport::Stopping() {
  if (!FWindow) return;
  win32::KillTimer(FWindow, kWatchdogTimer);
  if (FTicking) win32::KillTimer(FWindow, kStatusTimer);
  FTicking = false;
  service::Notify("STOPPING=1");
}

// The first datagram after a quiet spell starts a once-a-second look; a look
// that finds nothing new stops it again, so an idle relay has no timer.
void TServiceReport::StartTicking() {
  // A timer that cannot be had is not asked for again with every datagram.
  FTicking = true;
  win32::SetTimer(FWindow, kStatusTimer, kStatusPeriodMs, nullptr);
}

void TServiceReport::Tick(win32::UINT_PTR Id) {
  if (Id == kWatchdogTimer) {
    service::Notify("WATCHDOG=1");
    return;
  }
  if (Id != kStatusTimer) return;
  if (FCounts.Received == FReported) {
    win32::KillTimer(FWindow, kStatusTimer);
    FTicking = false;
    return;
  }
  SendStatus();
}

void TServiceReport::SendStatus() {
  FReported = FCounts.Received;
  service::Notify("STATUS=" + FStartLine() + "; " + FCounts.Text());
}

win32::LRESULT TServiceReport::Proc(win32::HWND Window, win32::UINT Message, win32::WPARAM WParam,
                                    win32::LPARAM LParam) {
  auto* self = reinterpret_cast<TServiceReport*>(win32::GetWindowLongPtrA(Window, 0));
  if (self && Message == win32::WM_TIMER) {
    self->Tick(WParam);
    return 0;
  }
  return win32::DefWindowProcA(Window, Message, WParam, LParam);
}
