// What the other platform layers (winsock, the window backends) need to know of
// the per-thread message queues beyond the public Win32 surface.
//
// Each thread's queue owns one epoll descriptor (the wait handle). Besides an
// eventfd for posted messages (a watch of the queue's own), other layers put
// their descriptors into it as watches, each with its own callback. Readiness
// is never acted on by the waiting side: when the owning thread looks at its
// queue (PeekMessageA, GetMessageA, WaitForQueue), the queue collects ready
// descriptors with epoll_wait and runs each one's callback, which turns it
// into posted messages.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win32/win32.h"

namespace win32::internal {

class ThreadQueue;
using QueuePtr = std::shared_ptr<ThreadQueue>;

// The queue of the thread that created hwnd; null when hwnd is no window.
QueuePtr QueueOfWindow(HWND hwnd);
// The calling thread's queue, created on first use.
QueuePtr QueueOfCurrentThread();
// The same without taking a reference: valid while the calling thread runs.
ThreadQueue& CurrentQueue();
// PostMessageA to a window whose queue the caller already holds.
bool PostToQueue(ThreadQueue& queue, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The queue's epoll descriptor (-1 if it could not be created). Stays open as
// long as a QueuePtr to the queue exists, even after its thread ended.
int EpollDescriptor(const ThreadQueue& queue);
DWORD OwnerThread(const ThreadQueue& queue);

// Watches of a given queue (any thread may call these; the callbacks run on
// the queue's thread). See WatchDescriptor in win32.h.
uint64_t AddWatch(ThreadQueue& queue, int fd, uint32_t events, DescriptorProc proc, void* context);
bool ChangeWatch(ThreadQueue& queue, uint64_t watch, uint32_t events);
void RemoveWatch(ThreadQueue& queue, uint64_t watch);
// Readiness the kernel cannot see (data its owner already holds): the watch's
// callback runs in the next collection with events 0, and the wait handle is
// readable until then.
void AnnounceReady(ThreadQueue& queue, uint64_t watch);
// Ends the queue's current wait (its wait handle readable) without a message.
void InterruptWait(ThreadQueue& queue);

// True while the calling thread is collecting readiness for its own queue
// (inside PeekMessageA/GetMessageA): work deferred now is flushed before the
// look returns, and messages posted now need no wake-up.
bool LookInProgress();

// Takes the first posted message matching (hwnd, msg, wParam) off hwnd's queue
// (every one with all). Returns whether one was found.
bool RemovePostedMessage(HWND hwnd, UINT msg, WPARAM wParam, bool all = false);
// Stops every timer of hwnd (on its thread), taking back expiries still queued.
void KillWindowTimers(HWND hwnd);

// Whether a message matching (hwnd, msg, wParam) still waits on hwnd's queue.
bool HasPostedMessage(HWND hwnd, UINT msg, WPARAM wParam);

}  // namespace win32::internal
