// Window timers: each one a timerfd watched by the loop of the window's
// thread, its expiry posted to the window as WM_TIMER. Only that thread may
// set, kill or destroy, so the list is the thread's own and takes no lock.
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/win32/linux/QueueInternal.h"

namespace win32 {
namespace internal {

namespace {

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  int fd = -1;
  uint64_t watch = 0;
  QueuePtr queue;  // keeps the epoll set alive for the removal
  ~Timer() {
    if (watch) RemoveWatch(*queue, watch);
    if (fd >= 0) close(fd);
  }
};

// Timers of the calling thread's windows; a thread's end closes what is left.
thread_local std::vector<std::unique_ptr<Timer>> timers;

std::vector<std::unique_ptr<Timer>>::iterator FindTimer(HWND hwnd, UINT_PTR id) {
  return std::find_if(timers.begin(), timers.end(), [&](const std::unique_ptr<Timer>& t) {
    return t->hwnd == hwnd && t->id == id;
  });
}

void OnExpiry(int fd, uint32_t, void* context) {
  auto* t = static_cast<Timer*>(context);
  uint64_t expirations;
  while (read(fd, &expirations, sizeof expirations) > 0) {
  }
  // Like Win32, a timer the window has not yet served does not pile up.
  if (!HasPostedMessage(t->hwnd, WM_TIMER, t->id)) PostMessageA(t->hwnd, WM_TIMER, t->id, 0);
}

}  // namespace

void KillWindowTimers(HWND hwnd) {
  for (auto it = timers.begin(); it != timers.end();) {
    if ((*it)->hwnd != hwnd) {
      ++it;
      continue;
    }
    RemovePostedMessage(hwnd, WM_TIMER, (*it)->id, true);
    it = timers.erase(it);
  }
}

}  // namespace internal

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  if (proc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD owner = GetWindowThreadProcessId(hwnd, nullptr);
  if (owner == 0) return 0;  // no window: the error is set
  if (owner != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  auto it = internal::FindTimer(hwnd, id);
  internal::Timer* t;
  if (it != internal::timers.end()) {
    t = it->get();
    // Restarted: an expiry of the old period still waiting is void.
    internal::RemovePostedMessage(hwnd, WM_TIMER, id, true);
  } else {
    auto fresh = std::make_unique<internal::Timer>();
    fresh->hwnd = hwnd;
    fresh->id = id;
    fresh->queue = internal::QueueOfWindow(hwnd);
    fresh->fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (!fresh->queue || fresh->fd < 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    fresh->watch =
        internal::AddWatch(*fresh->queue, fresh->fd, EPOLLIN, &internal::OnExpiry, fresh.get());
    if (fresh->watch == 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    t = fresh.get();
    internal::timers.push_back(std::move(fresh));
  }
  const UINT ms = std::max(elapseMs, USER_TIMER_MINIMUM);
  itimerspec spec{};
  spec.it_value.tv_sec = ms / 1000;
  spec.it_value.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  spec.it_interval = spec.it_value;
  timerfd_settime(t->fd, 0, &spec, nullptr);  // also clears expirations not yet read
  return id != 0 ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto it = internal::FindTimer(hwnd, id);
  if (it == internal::timers.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  internal::timers.erase(it);
  internal::RemovePostedMessage(hwnd, WM_TIMER, id, true);
  return TRUE;
}

}  // namespace win32
