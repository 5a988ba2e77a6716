// The console's control events arrive on a thread of their own: the handler
// posts to the loop and lets the loop end the program. Closing the console
// ends the process as soon as the handler returns, so for that event it waits
// (bounded) until the loop is done and the watch gone.
#include "tools/netcat/Process.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace vxcat {
namespace {

std::mutex gLock;
std::condition_variable gGone;
win32::HWND gWindow = nullptr;  // null: no watch
win32::UINT gMessage = 0;

BOOL WINAPI OnControl(DWORD Event) {
  std::unique_lock<std::mutex> lock(gLock);
  if (gWindow == nullptr) return FALSE;  // the default: the process ends
  win32::PostMessageA(gWindow, gMessage, 0, 0);
  if (Event == CTRL_CLOSE_EVENT || Event == CTRL_LOGOFF_EVENT || Event == CTRL_SHUTDOWN_EVENT)
    gGone.wait_for(lock, std::chrono::seconds(4), [] { return gWindow == nullptr; });
  return TRUE;
}

}  // namespace

// Bytes as they came: no CR added before LF on the way out. Standard input is
// read with ReadFile, below the runtime's text mode.
void PrepareProcess() { _setmode(_fileno(stdout), _O_BINARY); }

TInterruptWatch::TInterruptWatch(TMessageWindow& Window, win32::UINT Message) {
  {
    std::lock_guard<std::mutex> lock(gLock);
    gWindow = Window.Handle();
    gMessage = Message;
  }
  SetConsoleCtrlHandler(OnControl, TRUE);
}

TInterruptWatch::~TInterruptWatch() {
  SetConsoleCtrlHandler(OnControl, FALSE);
  std::lock_guard<std::mutex> lock(gLock);
  gWindow = nullptr;
  gGone.notify_all();
}

}  // namespace vxcat
