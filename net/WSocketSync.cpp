// The synchronous wait: runs the message loop until a flag is set, the
// application ends, a quit message comes or the wait's time is up. Between
// passes it sleeps on the thread's queue, so a wait costs no CPU.
#include "net/WSocket.h"
#include "rtl/Application.h"

namespace {

constexpr int32_t kWaitFailed = 12001;
// How long one sleep may last when the application's message processing also
// serves sources the thread's queue does not show (window events, signals).
constexpr int32_t kSharedLoopSlice = 50;

}  // namespace

int32_t TCustomSyncWSocket::RunAndWait(const std::function<void()>& Proc, bool& Flag) {
  Flag = false;
  if (Proc) Proc();
  return WaitForFlag(Flag);
}

int32_t TCustomSyncWSocket::WaitForFlag(bool& Flag) {
  TAliveGuard guard(this);
  auto Ended = [this] { return (Application && Application->Terminated()) || QuitReceived; };
  WaitDeadline = win32::GetTickCount() + static_cast<uint32_t>(WaitTimeout);
  const bool queueOnly = FMultiThreaded || !Application || Application->ServesQueueOnly();
  for (;;) {
    if (Flag) return 0;
    const auto left = static_cast<int32_t>(WaitDeadline - win32::GetTickCount());
    if (WaitTimeout > 0 && left < 0) return kWaitFailed;
    if (Ended()) return kWaitFailed;
    if (FMultiThreaded || !Application)
      PumpThreadMessages();
    else
      PumpMessages();
    // A handler destroyed the object: Flag may have gone with it.
    if (guard.Destroyed()) return kWaitFailed;
    if (Flag) return 0;
    // What the pump took may have been the quit message: never sleep past it.
    if (Ended()) return kWaitFailed;
    int32_t sleep = queueOnly ? -1 : kSharedLoopSlice;
    if (WaitTimeout > 0) {
      const auto rest = static_cast<int32_t>(WaitDeadline - win32::GetTickCount()) + 1;
      const int32_t bound = rest < 0 ? 0 : rest;
      if (sleep < 0 || bound < sleep) sleep = bound;
    }
    win32::WaitForQueue(sleep);
  }
}
