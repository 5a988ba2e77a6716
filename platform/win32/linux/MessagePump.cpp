// Looking at, waiting for and dispatching the calling thread's messages.
#include <poll.h>
#include <sys/epoll.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/win32/linux/ThreadQueue.h"

namespace win32 {
namespace internal {

namespace {

thread_local bool t_looking = false;
// Messages taken since readiness was last collected (see Look).
thread_local int t_takenSinceCollect = 0;
// Readiness was collected since a look last came up empty (see Look).
thread_local bool t_collectedLately = false;

// A look that finds a queued message takes it without asking the kernel
// first, but at least every so many takes it collects readiness anyway, so a
// handler that keeps posting cannot starve the sockets.
constexpr int kCollectEvery = 32;

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

struct LookScope {
  LookScope() { t_looking = true; }
  ~LookScope() { t_looking = false; }
};

// epoll_wait on the queue's set; a signal that cuts a blocking wait short
// does not end it.
int WaitEpoll(ThreadQueue& queue, epoll_event* events, int max, int timeoutMs) {
  int n = epoll_wait(queue.epfd, events, max, timeoutMs);
  if (n < 0 && errno == EINTR && timeoutMs != 0) {
    const int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
    while (n < 0 && errno == EINTR) {
      const int64_t left = deadline < 0 ? -1 : std::max<int64_t>(deadline - NowMs(), 0);
      n = epoll_wait(queue.epfd, events, max, static_cast<int>(left));
      if (left == 0) break;
    }
  }
  return n;
}

// Runs the callbacks of watches their owners announced ready; returns how many.
int RunAnnounced(ThreadQueue& queue) {
  thread_local std::vector<uint64_t> t_announced;
  queue.TakeAnnounced(t_announced);
  for (uint64_t id : t_announced) {
    WatchTable::Watch w;
    if (queue.watches.Find(id, &w) && w.proc) w.proc(w.fd, 0, w.context);
  }
  const int n = static_cast<int>(t_announced.size());
  t_announced.clear();
  return n;
}

// Runs the callbacks of ready descriptors (waiting up to timeoutMs for the
// first); reports whether the queue's own eventfd was among them and whether
// any callback ran at all. Runs inside a look. A queue that waits through its
// ring has the datagrams of armed sockets received by the wait itself, and
// collects the epoll set only when the ring says it has something.
bool CollectReady(ThreadQueue& queue, int timeoutMs, bool* anyRan = nullptr) {
  epoll_event events[64];
  int n = 0;
  bool received = false;
  const RingClient* client = CurrentRingClient();
  if (client && queue.ringOn.load(std::memory_order_relaxed)) {
    RingSocket listed[WaitRing::kMaxArmed];
    const int count = client->Arm(queue, listed, WaitRing::kMaxArmed);
    bool epollReady = false;
    received = queue.ring->Wait(queue.epfd, listed, count, timeoutMs, *client, &epollReady);
    if (epollReady) n = WaitEpoll(queue, events, 64, 0);
  } else {
    n = WaitEpoll(queue, events, 64, timeoutMs);
  }
  if (n < 0) n = 0;
  queue.sawWakeup = false;
  for (int i = 0; i < n; ++i) {
    WatchTable::Watch w;
    // A callback may have removed a watch reported later in this batch.
    if (queue.watches.Find(events[i].data.u64, &w) && w.proc)
      w.proc(w.fd, events[i].events, w.context);
  }
  n += RunAnnounced(queue);
  if (anyRan) *anyRan = n > 0 || received;
  t_takenSinceCollect = 0;
  t_collectedLately = true;
  return queue.sawWakeup;
}

// Messages already queued are taken first: readiness collected now would only
// queue behind them. The kernel is asked when none matches, except by the
// first look that comes up empty after a collection (the one that ends a
// pump): what became ready since keeps the wait handle readable, so the
// wait that follows collects it, and a wake-up costs one epoll_wait, not two.
bool Look(ThreadQueue& queue, MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, bool remove,
          bool settle = true) {
  LookScope scope;
  queue.ServeSent();  // sent messages go first and are never returned
  if (queue.epfd < 0) return queue.Take(out, hwnd, filterMin, filterMax, remove, false, settle);
  if (t_takenSinceCollect < kCollectEvery) {
    if (queue.Take(out, hwnd, filterMin, filterMax, remove, false, settle)) {
      ++t_takenSinceCollect;
      return true;
    }
    const bool unfiltered = hwnd == nullptr && filterMin == 0 && filterMax == 0;
    if (t_collectedLately && unfiltered) {
      t_collectedLately = false;
      return false;
    }
  }
  const bool wakeup = CollectReady(queue, 0);
  return queue.Take(out, hwnd, filterMin, filterMax, remove, wakeup, settle);
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

bool LookInProgress() { return t_looking; }

}  // namespace internal

using internal::QueuePtr;

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) return FALSE;
  return internal::Look(internal::CurrentQueue(), msg, hwnd, filterMin, filterMax,
                        (removeMsg & PM_REMOVE) != 0)
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
    queue->StopRing();  // this wait watches the epoll set alone
    internal::WaitReadable(queue->epfd, -1);
  }
}

bool WaitForQueue(int timeoutMs) {
  internal::ThreadQueue& queue = internal::CurrentQueue();
  if (queue.HasAnything()) return true;
  if (queue.epfd < 0) return false;
  // One system call per wake-up: the wait itself collects what it woke for
  // (and, through the ring, receives the datagram it woke for).
  if (timeoutMs != 0) queue.StartRing();
  internal::LookScope scope;
  // What the thread announced itself while waiting through the ring woke
  // nothing (ThreadQueue::OwnerLooksFirst): it is run before the wait.
  // It counts as a collection: the look that then finds nothing leaves the
  // kernel to the wait that follows, which receives anyway.
  if (queue.ringOn.load(std::memory_order_relaxed) && queue.AnyAnnounced() &&
      internal::RunAnnounced(queue) > 0) {
    internal::t_collectedLately = true;
    return true;
  }
  bool anyRan = false;
  const bool wakeup = internal::CollectReady(queue, timeoutMs, &anyRan);
  return wakeup || anyRan || queue.HasAnything();
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
  // From another thread, as on Windows: the window's thread runs the
  // procedure when it next looks at its queue, and the sender waits for it.
  if (thread != GetCurrentThreadId()) {
    internal::QueuePtr queue = internal::QueueOfWindow(hwnd);
    auto call = std::make_shared<internal::SentCall>();
    call->hwnd = hwnd;
    call->msg = msg;
    call->wParam = wParam;
    call->lParam = lParam;
    if (!queue || !queue->Send(call)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    return call->Wait();
  }
  WNDPROC proc = internal::WindowProcFor(hwnd);
  if (!proc) return 0;
  return proc(hwnd, msg, wParam, lParam);
}

}  // namespace win32

namespace win32::testing {

bool QueueReady(int timeoutMs) {
  pollfd p{GetQueueWaitHandle(), POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

}  // namespace win32::testing
