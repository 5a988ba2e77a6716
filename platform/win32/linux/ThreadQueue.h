// Private to win32: the per-thread queue object and the window table's view of it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32/linux/MessageRing.h"
#include "platform/win32/linux/QueueInternal.h"
#include "platform/win32/linux/WaitRing.h"
#include "platform/win32/linux/WatchTable.h"
#include "platform/win32/win32.h"

namespace win32::internal {

// A message sent from another thread: the window's thread runs the procedure
// in its next look and hands the result back.
struct SentCall {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
  std::mutex mu;
  std::condition_variable cv;
  void Complete(LRESULT value);
  LRESULT Wait();
};

// Posted messages plus the wait handle. Only PostMessageA/PostThreadMessageA
// reach a queue from other threads; everything else runs on the owning thread.
class ThreadQueue {
 public:
  explicit ThreadQueue(DWORD threadId);
  ~ThreadQueue();
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;

  // Appends a message. Wakes the wait handle unless the owning thread is inside
  // a look at this queue (the look brings the handle up to date when it ends)
  // or posts while it waits through its ring (its wait looks first).
  // Fails once the owning thread has ended.
  bool Post(const MSG& msg);
  void PostQuit(int exitCode);
  // Queues a send from another thread (false once the owning thread has ended);
  // ServeSent, on the owning thread at the start of every look, runs them.
  bool Send(const std::shared_ptr<SentCall>& call);
  void ServeSent();

  // Takes (or copies) the first message matching the filter. With settle, brings
  // the eventfd in line with what is left: readable exactly when something is.
  bool Take(MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, bool remove, bool sawWakeup,
            bool settle);
  void Settle();
  bool HasAnything();
  // Readiness a watch's owner announces (see AnnounceReady); the next
  // collection takes the list. Keeps the wait handle readable meanwhile, except
  // for the owning thread's own announcements while it waits through the ring.
  bool AnyAnnounced() const { return anyAnnounced_.load(std::memory_order_acquire); }
  void Announce(uint64_t watch);
  void TakeAnnounced(std::vector<uint64_t>& out);
  bool RemoveMatching(HWND hwnd, UINT msg, WPARAM wParam, bool all);
  bool HasMatching(HWND hwnd, UINT msg, WPARAM wParam);
  // Clears the wake-up so that a wait sees only what arrives from now on.
  void ClearWakeup();
  void MarkEnded();
  // Makes the wait handle readable with nothing queued: the next wait
  // returns and looks afresh.
  void Interrupt();

  // The wait through io_uring (WaitRing.h): started by the first wait of
  // WaitForQueue that may block, given up for good once the thread waits any
  // other way (its wait handle given out, GetMessageA), where sockets must be
  // in the epoll set. Only the owning thread changes these.
  void StartRing();
  void StopRing();
  std::unique_ptr<WaitRing> ring;
  std::atomic<bool> ringOn{false};
  bool ringRefused = false;

  const DWORD threadId;
  int epfd = -1;
  int eventFd = -1;
  WatchTable watches;
  // Set by the eventfd's watch when a collection finds it readable; only the
  // owning thread touches it.
  bool sawWakeup = false;

 private:
  void SignalLocked(bool& doWrite);
  bool OwnerLooksFirst() const;
  void SettleLocked(bool sawWakeup, bool& doRead, bool& doWrite);
  void Wake();
  void Drain();

  // Kept under the lock, read without it by the owning thread: nothing to
  // take, announce or settle, so a look that finds the queue empty (once per
  // wake-up) and the wait that follows take no lock.
  void NoteQuietLocked();

  std::atomic<bool> quiet_{true};
  std::atomic<bool> anyAnnounced_{false};
  std::atomic<bool> anySent_{false};
  std::mutex mu_;
  MessageRing posted_;
  std::vector<uint64_t> announced_;
  std::deque<std::shared_ptr<SentCall>> sent_;
  bool signalled_ = false;
  bool unsignalled_ = false;  // something was queued without a wake-up (ring waits)
  bool quitPending_ = false;
  int quitCode_ = 0;
  bool ended_ = false;
};

// Window table lookups the pump needs.
WNDPROC WindowProcFor(HWND hwnd);
void EndThreadWindows(DWORD threadId);

}  // namespace win32::internal
