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
// Messages taken since readiness was last collected (see Look).
thread_local int t_takenSinceCollect = 0;

constexpr uint64_t kQueueKey = 0;
constexpr uint64_t kExtraKey = 1;
// A look that finds a queued message takes it without asking the kernel
// first, but at least every so many takes it collects readiness anyway, so a
// handler that keeps posting cannot starve the sockets.
constexpr int kCollectEvery = 32;

void Flush() {
  if (FlushHandler flush = g_flush.load(std::memory_order_acquire)) flush();
}

struct LookScope {
  LookScope() { t_looking = true; }
  ~LookScope() { t_looking = false; }
};

// Turns ready descriptors into posted messages (waiting up to timeoutMs for
// the first); reports whether the queue's own eventfd was among them. Runs
// inside a look.
bool CollectReady(ThreadQueue& queue, int timeoutMs) {
  epoll_event events[64];
  int n = epoll_wait(queue.epfd, events, 64, timeoutMs);
  bool wakeup = false;
  ReadyHandler ready = g_ready.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    const uint64_t key = events[i].data.u64;
    if (key == kQueueKey)
      wakeup = true;
    else if (key == kExtraKey)
      queue.extraReady = true;
    else if (ready)
      ready(key, events[i].events);
  }
  Flush();
  t_takenSinceCollect = 0;
  return wakeup;
}

// Messages already queued are taken first: readiness collected now would only
// queue behind them. The kernel is asked when none matches.
bool Look(ThreadQueue& queue, MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, bool remove,
          bool settle = true) {
  LookScope scope;
  if (queue.epfd < 0) return queue.Take(out, hwnd, filterMin, filterMax, remove, false, settle);
  if (t_takenSinceCollect < kCollectEvery &&
      queue.Take(out, hwnd, filterMin, filterMax, remove, false, settle)) {
    ++t_takenSinceCollect;
    return true;
  }
  const bool wakeup = CollectReady(queue, 0);
  return queue.Take(out, hwnd, filterMin, filterMax, remove, wakeup, settle);
}

// Puts fd (or none, for -1) into the queue's epoll set as its extra descriptor.
bool WatchExtra(ThreadQueue& queue, int fd) {
  if (fd == queue.extraFd) return true;
  if (queue.extraFd >= 0) epoll_ctl(queue.epfd, EPOLL_CTL_DEL, queue.extraFd, nullptr);
  queue.extraFd = -1;
  queue.extraReady = false;
  if (fd < 0) return true;
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kExtraKey;
  if (epoll_ctl(queue.epfd, EPOLL_CTL_ADD, fd, &ev) != 0) return false;
  queue.extraFd = fd;
  return true;
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
  return internal::Look(*queue, msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0)
             ? TRUE
             : FALSE;
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

DWORD WaitForQueueOrDescriptor(int fd, int timeoutMs) {
  QueuePtr queue = internal::QueueOfCurrentThread();
  DWORD result = 0;
  if (queue->epfd < 0 || !internal::WatchExtra(*queue, fd)) {
    // No epoll set to share: wait on both the plain way.
    pollfd p[2] = {{queue->epfd, POLLIN, 0}, {fd, POLLIN, 0}};
    if (queue->HasAnything()) return QUEUE_READY;
    if (poll(p, 2, timeoutMs) <= 0) return 0;
    if (p[0].revents) result |= QUEUE_READY;
    if (p[1].revents) result |= DESCRIPTOR_READY;
    return result;
  }
  if (queue->HasAnything()) {
    result = QUEUE_READY;
  } else {
    internal::LookScope scope;
    const bool wakeup = internal::CollectReady(*queue, timeoutMs);
    if (wakeup || queue->HasAnything()) result = QUEUE_READY;
  }
  if (queue->extraReady) {
    queue->extraReady = false;
    result |= DESCRIPTOR_READY;
  }
  return result;
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
