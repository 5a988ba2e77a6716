// Per-thread message queues: posting, the wait handle, the thread registry.
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_map>

#include "platform/win32/linux/ThreadQueue.h"
#include "rtl/Application.h"

namespace win32 {
namespace internal {

namespace {

struct ThreadRegistry {
  std::mutex mu;
  std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>> queues;
};

// Never destroyed: lookup workers may still post while the program exits.
ThreadRegistry& Registry() {
  static ThreadRegistry* registry = new ThreadRegistry;
  return *registry;
}

bool ProcessOneMessage(bool& quit) {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    quit = true;
    return true;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

// Ends the thread's queue with the thread: its windows go, later posts fail.
struct QueueHolder {
  QueuePtr queue;
  ~QueueHolder() {
    if (!queue) return;
    queue->MarkEnded();
    {
      ThreadRegistry& r = Registry();
      std::lock_guard<std::mutex> lock(r.mu);
      r.queues.erase(queue->threadId);
    }
    EndThreadWindows(queue->threadId);
  }
};

thread_local QueueHolder t_holder;

bool QuitMatches(HWND hwnd, UINT filterMin, UINT filterMax) {
  if (hwnd != nullptr) return false;
  return (filterMin == 0 && filterMax == 0) || (filterMin <= WM_QUIT && WM_QUIT <= filterMax);
}

bool Matches(const MSG& m, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (hwnd == reinterpret_cast<HWND>(-1)) {
    if (m.hwnd != nullptr) return false;
  } else if (hwnd != nullptr && m.hwnd != hwnd) {
    return false;
  }
  if (filterMin == 0 && filterMax == 0) return true;
  return filterMin <= m.message && m.message <= filterMax;
}

// The eventfd stays readable while messages are queued; the look that saw it
// settles it.
void OnWakeup(int, uint32_t, void* context) {
  static_cast<ThreadQueue*>(context)->sawWakeup = true;
}

}  // namespace

ThreadQueue::ThreadQueue(DWORD id) : threadId(id) {
  epfd = epoll_create1(EPOLL_CLOEXEC);
  eventFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (eventFd >= 0) watches.Add(epfd, eventFd, EPOLLIN, &OnWakeup, this);
}

ThreadQueue::~ThreadQueue() {
  if (eventFd >= 0) close(eventFd);
  if (epfd >= 0) close(epfd);
}

void ThreadQueue::Wake() {
  uint64_t one = 1;
  while (write(eventFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void ThreadQueue::Drain() {
  uint64_t value;
  while (read(eventFd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

void ThreadQueue::SignalLocked(bool& doWrite) {
  // The owning thread inside a look needs no wake-up: the look settles the
  // handle when it ends. This keeps socket notifications free of eventfd traffic.
  if (signalled_) return;
  if (threadId == GetCurrentThreadId() && LookInProgress()) return;
  signalled_ = true;
  doWrite = true;
}

bool ThreadQueue::OwnerLooksFirst() const {
  // Waiting through the ring, the owning thread waits only in WaitForQueue,
  // which takes what is queued or announced before it blocks; what it queues
  // itself needs no wake-up (one eventfd write, and the epoll_wait and read
  // that collect it: three system calls whenever a wake-up brings two
  // datagrams).
  return threadId == GetCurrentThreadId() && ringOn.load(std::memory_order_relaxed);
}

bool ThreadQueue::Post(const MSG& msg) {
  bool doWrite = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (ended_) return false;
    posted_.push_back(msg);
    if (!OwnerLooksFirst())
      SignalLocked(doWrite);
    else if (!LookInProgress())
      unsignalled_ = true;  // inside a look, the look settles as before
    NoteQuietLocked();
  }
  if (doWrite) Wake();
  return true;
}

void SentCall::Complete(LRESULT value) {
  {
    std::lock_guard<std::mutex> lock(mu);
    result = value;
    done = true;
  }
  cv.notify_all();
}

LRESULT SentCall::Wait() {
  std::unique_lock<std::mutex> lock(mu);
  cv.wait(lock, [this] { return done; });
  return result;
}

bool ThreadQueue::Send(const std::shared_ptr<SentCall>& call) {
  bool doWrite = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (ended_) return false;
    sent_.push_back(call);
    anySent_.store(true, std::memory_order_release);
    SignalLocked(doWrite);
    NoteQuietLocked();
  }
  if (doWrite) Wake();
  return true;
}

void ThreadQueue::ServeSent() {
  if (!anySent_.load(std::memory_order_acquire)) return;
  for (;;) {
    std::shared_ptr<SentCall> call;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (sent_.empty()) {
        anySent_.store(false, std::memory_order_relaxed);
        NoteQuietLocked();
        return;
      }
      call = std::move(sent_.front());
      sent_.pop_front();
    }
    // A window destroyed since the send: nothing runs, the sender gets 0.
    const WNDPROC proc = WindowProcFor(call->hwnd);
    call->Complete(proc ? proc(call->hwnd, call->msg, call->wParam, call->lParam) : 0);
  }
}

void ThreadQueue::PostQuit(int exitCode) {
  bool doWrite = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    quitPending_ = true;
    quitCode_ = exitCode;
    SignalLocked(doWrite);
    NoteQuietLocked();
  }
  if (doWrite) Wake();
}

bool ThreadQueue::Take(MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, bool remove,
                       bool sawWakeup, bool settle) {
  if (!sawWakeup && quiet_.load(std::memory_order_acquire)) return false;
  bool found = false;
  bool doWrite = false;
  bool doRead = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (size_t i = 0; i < posted_.size(); ++i) {
      if (!Matches(posted_.at(i), hwnd, filterMin, filterMax)) continue;
      *out = posted_.at(i);
      if (remove) posted_.erase(i);
      found = true;
      break;
    }
    if (!found && quitPending_ && QuitMatches(hwnd, filterMin, filterMax)) {
      *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0, GetTickCount(), {0, 0}};
      if (remove) quitPending_ = false;
      found = true;
    }
    if (settle) SettleLocked(sawWakeup, doRead, doWrite);
    NoteQuietLocked();
  }
  if (doRead) Drain();
  if (doWrite) Wake();
  return found;
}

void ThreadQueue::SettleLocked(bool sawWakeup, bool& doRead, bool& doWrite) {
  // Readiness announced by a watch's owner is collected by the next look.
  const bool empty = posted_.empty() && !quitPending_ && announced_.empty() && sent_.empty();
  if (empty) {
    if (signalled_ || sawWakeup) {
      signalled_ = false;
      doRead = true;
    }
  } else if (!signalled_) {
    if (OwnerLooksFirst()) {
      unsignalled_ = true;
    } else {
      signalled_ = true;
      doWrite = true;
    }
  }
}

void ThreadQueue::Settle() {
  bool doRead = false;
  bool doWrite = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    SettleLocked(false, doRead, doWrite);
    NoteQuietLocked();
  }
  if (doRead) Drain();
  if (doWrite) Wake();
}

void ThreadQueue::Announce(uint64_t watch) {
  bool doWrite = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    announced_.push_back(watch);
    anyAnnounced_.store(true, std::memory_order_release);
    if (!OwnerLooksFirst())
      SignalLocked(doWrite);
    else if (!LookInProgress())
      unsignalled_ = true;
    NoteQuietLocked();
  }
  if (doWrite) Wake();
}

void ThreadQueue::TakeAnnounced(std::vector<uint64_t>& out) {
  if (!anyAnnounced_.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(mu_);
  out.swap(announced_);
  anyAnnounced_.store(false, std::memory_order_relaxed);
  NoteQuietLocked();
}

void ThreadQueue::NoteQuietLocked() {
  quiet_.store(posted_.empty() && !quitPending_ && announced_.empty() && sent_.empty() &&
                   !signalled_,
               std::memory_order_release);
}

bool ThreadQueue::HasAnything() {
  if (quiet_.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> lock(mu_);
  return !posted_.empty() || quitPending_ || !sent_.empty();
}

bool ThreadQueue::RemoveMatching(HWND hwnd, UINT msg, WPARAM wParam, bool all) {
  std::lock_guard<std::mutex> lock(mu_);
  bool found = false;
  for (size_t i = 0; i < posted_.size();) {
    const MSG& m = posted_.at(i);
    if (m.hwnd == hwnd && m.message == msg && m.wParam == wParam) {
      posted_.erase(i);
      found = true;
      if (!all) break;
    } else {
      ++i;
    }
  }
  NoteQuietLocked();
  return found;
}

bool ThreadQueue::HasMatching(HWND hwnd, UINT msg, WPARAM wParam) {
  std::lock_guard<std::mutex> lock(mu_);
  for (size_t i = 0; i < posted_.size(); ++i) {
    const MSG& m = posted_.at(i);
    if (m.hwnd == hwnd && m.message == msg && m.wParam == wParam) return true;
  }
  return false;
}

void ThreadQueue::ClearWakeup() {
  bool doRead = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (signalled_) {
      signalled_ = false;
      doRead = true;
    }
    NoteQuietLocked();
  }
  if (doRead) Drain();
}

void ThreadQueue::Interrupt() {
  bool doWrite = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!signalled_) signalled_ = doWrite = true;
    NoteQuietLocked();
  }
  if (doWrite) Wake();
}

void ThreadQueue::StartRing() {
  if (ringOn.load(std::memory_order_relaxed) || ringRefused) return;
  const RingClient* client = CurrentRingClient();
  if (!client) return;  // no sockets to receive for yet
  ring = WaitRing::Create();
  if (!ring) {
    ringRefused = true;
    return;
  }
  ringOn.store(true);
  client->ModeChanged(*this);
}

void ThreadQueue::StopRing() {
  ringRefused = true;
  if (!ringOn.load(std::memory_order_relaxed)) return;
  const RingClient* client = CurrentRingClient();
  // What the sockets' receives took is theirs before epoll watches them again.
  if (client) ring->CancelAll(*client);
  ringOn.store(false);
  if (client) client->ModeChanged(*this);
  // Messages queued without a wake-up must now show on the handle.
  bool settle = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    settle = unsignalled_;
    unsignalled_ = false;
  }
  if (settle) Settle();
}

bool RingDriving(const ThreadQueue& queue) { return queue.ringOn.load(std::memory_order_acquire); }

void EndRingReceive(ThreadQueue& queue, uint64_t key) {
  const RingClient* client = CurrentRingClient();
  if (client && queue.ring && queue.threadId == GetCurrentThreadId()) queue.ring->Cancel(key, *client);
}

void ThreadQueue::MarkEnded() {
  std::deque<std::shared_ptr<SentCall>> unserved;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ended_ = true;
    posted_.clear();
    quitPending_ = false;
    unserved.swap(sent_);
    anySent_.store(false, std::memory_order_relaxed);
    NoteQuietLocked();
  }
  for (auto& call : unserved) call->Complete(0);  // its thread is gone: senders go on
}

QueuePtr QueueOfCurrentThread() {
  if (!t_holder.queue) {
    auto queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
    {
      ThreadRegistry& r = Registry();
      std::lock_guard<std::mutex> lock(r.mu);
      r.queues[queue->threadId] = queue;
    }
    t_holder.queue = queue;
    TApplicationCore::SetProcessMessageHook(&ProcessOneMessage);
  }
  return t_holder.queue;
}

ThreadQueue& CurrentQueue() {
  if (!t_holder.queue) QueueOfCurrentThread();
  return *t_holder.queue;
}

bool PostToQueue(ThreadQueue& queue, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return queue.Post(MSG{hwnd, msg, wParam, lParam, GetTickCount(), {0, 0}});
}

int EpollDescriptor(const ThreadQueue& queue) { return queue.epfd; }
DWORD OwnerThread(const ThreadQueue& queue) { return queue.threadId; }

uint64_t AddWatch(ThreadQueue& queue, int fd, uint32_t events, DescriptorProc proc, void* context) {
  return queue.watches.Add(queue.epfd, fd, events, proc, context);
}

bool ChangeWatch(ThreadQueue& queue, uint64_t watch, uint32_t events) {
  return queue.watches.Change(queue.epfd, watch, events);
}

void RemoveWatch(ThreadQueue& queue, uint64_t watch) { queue.watches.Remove(queue.epfd, watch); }

void AnnounceReady(ThreadQueue& queue, uint64_t watch) { queue.Announce(watch); }

void InterruptWait(ThreadQueue& queue) { queue.Interrupt(); }

bool RemovePostedMessage(HWND hwnd, UINT msg, WPARAM wParam, bool all) {
  QueuePtr queue = QueueOfWindow(hwnd);
  return queue && queue->RemoveMatching(hwnd, msg, wParam, all);
}

bool HasPostedMessage(HWND hwnd, UINT msg, WPARAM wParam) {
  QueuePtr queue = QueueOfWindow(hwnd);
  return queue && queue->HasMatching(hwnd, msg, wParam);
}

namespace {
// The main thread's wait handle is made before anything else opens descriptors,
// so it stays low enough for select().
const bool g_mainQueueMade = (QueueOfCurrentThread(), true);
}  // namespace

}  // namespace internal

using internal::QueuePtr;

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  QueuePtr queue = hwnd ? internal::QueueOfWindow(hwnd) : internal::QueueOfCurrentThread();
  if (!queue || !queue->Post(MSG{hwnd, msg, wParam, lParam, GetTickCount(), {0, 0}})) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  QueuePtr queue;
  {
    internal::ThreadRegistry& r = internal::Registry();
    std::lock_guard<std::mutex> lock(r.mu);
    auto it = r.queues.find(threadId);
    if (it != r.queues.end()) queue = it->second.lock();
  }
  if (!queue || !queue->Post(MSG{nullptr, msg, wParam, lParam, GetTickCount(), {0, 0}})) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return TRUE;
}

void PostQuitMessage(int exitCode) { internal::QueueOfCurrentThread()->PostQuit(exitCode); }

int GetQueueWaitHandle() {
  // Waited on from outside: every socket must be in the epoll set.
  internal::QueuePtr queue = internal::QueueOfCurrentThread();
  queue->StopRing();
  return queue->epfd;
}

uint64_t WatchDescriptor(int fd, uint32_t events, DescriptorProc proc, void* context) {
  return internal::AddWatch(*internal::QueueOfCurrentThread(), fd, events, proc, context);
}

BOOL ChangeDescriptorWatch(uint64_t watch, uint32_t events) {
  return internal::ChangeWatch(*internal::QueueOfCurrentThread(), watch, events) ? TRUE : FALSE;
}

void UnwatchDescriptor(uint64_t watch) {
  internal::RemoveWatch(*internal::QueueOfCurrentThread(), watch);
}

}  // namespace win32
