// Tick count, thread ids and sleeping.
#include <sched.h>
#include <time.h>
#include <unistd.h>
#include <sys/syscall.h>

#include "platform/win32/win32.h"

namespace win32 {

DWORD GetTickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                            static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

DWORD GetCurrentThreadId() {
  static thread_local DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
  return id;
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(milliseconds / 1000),
              static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace win32
