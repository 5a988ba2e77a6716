// Ctrl+C, Ctrl+Break and the closing of the console: the system calls the
// handler on a thread of its own, which only notes the request and posts it to
// a message-only window of the loop's thread (posting is safe from any
// thread), so the closing runs in the loop like any other message.
#include <atomic>

#include "ui/TerminateSignal.h"
#include "ui/win32/Win32Internal.h"

namespace ui {
namespace {

constexpr UINT kRequestMessage = WM_APP + 0x51;
const wchar_t kClassName[] = L"VorlanxTerminate";

std::atomic<bool> g_requested{false};
std::atomic<HWND> g_window{nullptr};
// Set once the application has ended, so that a close of the console (after
// which the system ends the process as soon as the handler returns) waits for
// the settings to be saved.
HANDLE g_finished = nullptr;
bool g_installed = false;

BOOL WINAPI OnConsoleEvent(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  g_requested = true;
  if (HWND w = g_window.load()) ::PostMessageW(w, kRequestMessage, 0, 0);
  // The system waits about five seconds for a closing console's handler.
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && g_finished)
    ::WaitForSingleObject(g_finished, 4500);
  return TRUE;
}

LRESULT CALLBACK RequestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != kRequestMessage) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  try {
    HandleTerminateRequest();
  } catch (const std::exception& e) {
    Application->HandleException(e);
  }
  return 0;
}

HWND MakeWindow() {
  HINSTANCE self = ::GetModuleHandleW(nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = &RequestProc;
  wc.hInstance = self;
  wc.lpszClassName = kClassName;
  ::RegisterClassW(&wc);  // fails harmlessly when registered before
  return ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, self,
                           nullptr);
}

}  // namespace

void InstallTerminateSignals() {
  if (g_installed) return;
  g_installed = true;
  win32ui::ServeSystemQueue();  // the request comes as a message
  if (!g_finished) g_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::ResetEvent(g_finished);
  g_window = MakeWindow();
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void RemoveTerminateSignals() {
  if (!g_installed) return;
  g_installed = false;
  ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  if (HWND w = g_window.exchange(nullptr)) ::DestroyWindow(w);
  ::SetEvent(g_finished);
}

bool TakeTerminateRequest() { return g_requested.exchange(false); }

bool TakeReportRequest() { return false; }

}  // namespace ui
