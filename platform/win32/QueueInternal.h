// What the other platform layers (winsock, the window backends) need to know of
// the per-thread message queues beyond the public Win32 surface.
//
// Each thread's queue owns one epoll descriptor (the wait handle). Besides an
// eventfd for posted messages, other layers put their own descriptors into it,
// each under a 64-bit key (key 0 is the queue's own). Readiness is never acted on
// by the waiting side: when the owning thread looks at its queue (PeekMessageA,
// GetMessageA), the queue collects ready descriptors with epoll_wait(0) and hands
// each to the ready handler, which turns it into posted messages. Work the ready
// handler defers (re-arming interest) is done by the flush handler, which the
// queue runs right after the ready handlers, before the look returns.
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
// The queue's epoll descriptor (-1 if it could not be created). Stays open as
// long as a QueuePtr to the queue exists, even after its thread ended.
int EpollDescriptor(const ThreadQueue& queue);
DWORD OwnerThread(const ThreadQueue& queue);

// Key: the epoll_event.data.u64 a descriptor was registered with (never 0 or
// 1: key 0 is the queue's own eventfd, key 1 the thread's extra descriptor).
using ReadyHandler = void (*)(uint64_t key, uint32_t epollEvents);
using FlushHandler = void (*)();
// One client (the socket layer) owns the descriptors in every queue.
void SetDescriptorHandlers(ReadyHandler ready, FlushHandler flush);

// True while the calling thread is collecting readiness for its own queue
// (inside PeekMessageA/GetMessageA): work deferred now is flushed before the
// look returns, and messages posted now need no wake-up.
bool LookInProgress();

// Takes the first posted message matching (hwnd, msg, wParam) off hwnd's queue
// (every one with all). Returns whether one was found.
bool RemovePostedMessage(HWND hwnd, UINT msg, WPARAM wParam, bool all = false);
// Whether a message matching (hwnd, msg, wParam) still waits on hwnd's queue.
bool HasPostedMessage(HWND hwnd, UINT msg, WPARAM wParam);

}  // namespace win32::internal
