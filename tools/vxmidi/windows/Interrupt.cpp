// The console's control events arrive on a thread of their own; the handler
// only records them and wakes the wait. Closing the console ends the process
// as soon as the handler returns, so for that one it waits (bounded) until the
// guard is gone, that is until the note is ended and the device closed.
#include "tools/vxmidi/Interrupt.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vxmidi {
namespace {

std::mutex gLock;
std::condition_variable gChanged;
bool gInterrupted = false;
bool gGuarding = false;

BOOL WINAPI OnControl(DWORD Event) {
  std::unique_lock<std::mutex> lock(gLock);
  gInterrupted = true;
  gChanged.notify_all();
  if (Event == CTRL_CLOSE_EVENT || Event == CTRL_LOGOFF_EVENT || Event == CTRL_SHUTDOWN_EVENT)
    gChanged.wait_for(lock, std::chrono::seconds(4), [] { return !gGuarding; });
  return TRUE;
}

}  // namespace

TInterruptGuard::TInterruptGuard() {
  {
    std::lock_guard<std::mutex> lock(gLock);
    gInterrupted = false;
    gGuarding = true;
  }
  SetConsoleCtrlHandler(OnControl, TRUE);
}

TInterruptGuard::~TInterruptGuard() {
  SetConsoleCtrlHandler(OnControl, FALSE);
  std::lock_guard<std::mutex> lock(gLock);
  gGuarding = false;
  gChanged.notify_all();
}

void TInterruptGuard::Wait(unsigned Ms) {
  std::unique_lock<std::mutex> lock(gLock);
  gChanged.wait_for(lock, std::chrono::milliseconds(Ms), [] { return gInterrupted; });
  FInterrupted = gInterrupted;
}

}  // namespace vxmidi
