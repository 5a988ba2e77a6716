// Looking at, waiting for and dispatching the calling thread's messages.
#include <poll.h>
#include <sys/epoll.h>
#include <time.h>

#include <atomic>
#include <cerrno>

#include "platform/win32/ThreadQueue.h"

namespace win32 {
namespace internal {

namespace {

std::atomic<ReadyHandler> g_ready{nullptr};
std::atomic<FlushHandler> g_flush{nullptr};
thread_local bool t_looking = false;

void Flush() {
  if (FlushHandler flush = g_flush.load(std::memory_order_acquire)) flush();
}

struct LookScope {
  LookScope() { t_looking = true; }
  ~LookScope() { t_looking = false; }
};

// Turns ready descriptors into posted messages; reports whether the queue's own
// eventfd was among them.
bool CollectReady(int epfd) {
  epoll_event events[64];
  int n = epoll_wait(epfd, events, 64, 0);
  bool wakeup = false;
  ReadyHandler ready = g_ready.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    if (events[i].data.u64 == 0)
      wakeup = true;
    else if (ready)
      ready(events[i].data.u64, events[i].events);
  }
  return wakeup;
}

bool Look(ThreadQueue& queue, MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, bool remove, bool settle = true) {
  LookScope scope;
  bool wakeup = false;
  if (queue.epfd >= 0) {
    wakeup = CollectReady(queue.epfd);
    Flush();
  }
  return queue.Take(out, hwnd, filterMin, filterMax, remove, wakeup, settle);
}

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Blocks until fd is readable or timeoutMs passes (-1: no limit).
bool WaitReadable(int fd, int timeoutMs) {
  const int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
  for (;;) {
    int left = -1;
    if (deadline >= 0) {
      int64_t remaining = deadline - NowMs();
      left = remaining > 0 ? static_cast<int>(remaining) : 0;
    }
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, left);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace

void SetDescriptorHandlers(ReadyHandler ready, FlushHandler flush) {
  g_ready.store(ready, std::memory_order_release);
  g_flush.store(flush, std::memory_order_release);
}

bool LookInProgress() { return t_looking; }

}  // namespace internal

using internal::QueuePtr;

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) return FALSE;
  QueuePtr queue = internal::QueueOfCurrentThread();
  return internal::Look(*queue, msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  QueuePtr queue = internal::QueueOfCurrentThread();
  // With a filter, messages outside it may stay queued; the wait must then see
  // only what arrives after the look, or it would never block.
  const bool filtered = hwnd != nullptr || filterMin != 0 || filterMax != 0;
  for (;;) {
    if (filtered) queue->ClearWakeup();
    if (internal::Look(*queue, msg, hwnd, filterMin, filterMax, true, !filtered)) {
      if (filtered) queue->Settle();
      return msg->message == WM_QUIT ? FALSE : TRUE;
    }
    if (queue->epfd < 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return -1;
    }
    internal::WaitReadable(queue->epfd, -1);
  }
}

bool WaitForQueue(int timeoutMs) {
  QueuePtr queue = internal::QueueOfCurrentThread();
  if (queue->HasAnything()) return true;
  if (queue->epfd < 0) return false;
  return internal::WaitReadable(queue->epfd, timeoutMs);
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  // A window destroyed after the message was posted: the message is dropped.
  WNDPROC proc = internal::WindowProcFor(msg->hwnd);
  if (!proc) return 0;
  return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
  if (thread == 0) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  // Only the window's own thread may call into it: there is no cross-thread
  // marshalling here.
  if (thread != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  WNDPROC proc = internal::WindowProcFor(hwnd);
  if (!proc) return 0;
  return proc(hwnd, msg, wParam, lParam);
}

}  // namespace win32
