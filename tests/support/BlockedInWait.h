// Linux: whether a thread of this process sleeps in the kernel waiting for
// its descriptors, for a test that must show that what it does next (a post
// from another thread) wakes a wait that had begun, not one still to come.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace testsupport {

// The kernel's id of the calling thread, for BlockedInWait.
inline long KernelThreadId() { return syscall(SYS_gettid); }

// True once thread Tid of this process sleeps in a poll, select, epoll or
// io_uring wait (what the message loops wait in); false when it does not
// within TimeoutMs.
inline bool BlockedInWait(long Tid, int TimeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  const std::string path = "/proc/self/task/" + std::to_string(Tid) + "/syscall";
  do {
    std::ifstream f(path);
    long call = -1;
    if (f >> call && (call == SYS_poll || call == SYS_ppoll || call == SYS_epoll_wait ||
                      call == SYS_epoll_pwait || call == SYS_select || call == SYS_pselect6 ||
                      call == SYS_io_uring_enter))
      return true;
    std::this_thread::yield();
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace testsupport
