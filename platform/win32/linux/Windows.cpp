// Hidden windows: a table of slots whose handles carry a generation, so a
// destroyed window's handle never names a later window.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/win32/linux/ThreadQueue.h"
#include "platform/win32/linux/WindowClass.h"

namespace win32 {
namespace internal {

namespace {

static_assert(sizeof(uintptr_t) == 8, "window handles pack a slot and a generation into 64 bits");

struct Window {
  uint32_t generation = 0;
  bool live = false;
  bool destroying = false;
  WNDPROC proc = nullptr;
  std::vector<unsigned char> extra;
  DWORD thread = 0;
  QueuePtr queue;
  std::shared_ptr<WindowClass> cls;
};

struct WindowTable {
  std::mutex mu;
  std::vector<Window> slots;
  std::deque<uint32_t> freeSlots;  // oldest first, so a slot rests before reuse
};

WindowTable& Table() {
  static WindowTable* table = new WindowTable;
  return *table;
}

// Every message dispatched looks its window up, and a socket's procedure then
// reads the window's object: the last window a thread looked up is kept with
// the table's version, bumped (under the lock) by whatever could change what a
// lookup finds, so a repeated lookup takes no lock. Making a window changes no
// other window's answer.
std::atomic<uint64_t> g_version{1};

struct LookupCache {
  uint64_t version = 0;
  HWND hwnd = nullptr;
  WNDPROC proc = nullptr;
  bool hasFirst = false;
  LONG_PTR first = 0;  // the first extra bytes
};
thread_local LookupCache t_lookup;

void ChangedLocked() { g_version.fetch_add(1, std::memory_order_release); }

const LookupCache* CachedLookup(HWND hwnd) {
  const LookupCache& c = t_lookup;
  return c.hwnd == hwnd && c.version == g_version.load(std::memory_order_acquire) ? &c : nullptr;
}

HWND Encode(uint32_t index, uint32_t generation) {
  return reinterpret_cast<HWND>((static_cast<uintptr_t>(generation) << 32) |
                                (static_cast<uintptr_t>(index) + 1));
}

Window* FindLocked(WindowTable& t, HWND hwnd) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(hwnd);
  const uint32_t low = static_cast<uint32_t>(value);
  if (low == 0 || low > t.slots.size()) return nullptr;
  Window& w = t.slots[low - 1];
  if (!w.live || w.generation != static_cast<uint32_t>(value >> 32)) return nullptr;
  return &w;
}

// Finds a live window and keeps what a lookup of it answers.
Window* FindAndKeepLocked(WindowTable& t, HWND hwnd) {
  Window* w = FindLocked(t, hwnd);
  if (!w) return nullptr;
  LookupCache& c = t_lookup;
  c.version = g_version.load(std::memory_order_relaxed);
  c.hwnd = hwnd;
  c.proc = w->proc;
  c.hasFirst = w->extra.size() >= sizeof(LONG_PTR);
  if (c.hasFirst) std::memcpy(&c.first, w->extra.data(), sizeof c.first);
  return w;
}

// Frees the slot; the class is handed back for release outside the table lock.
std::shared_ptr<WindowClass> RetireLocked(WindowTable& t, Window& w) {
  ChangedLocked();
  std::shared_ptr<WindowClass> cls = std::move(w.cls);
  const uint32_t index = static_cast<uint32_t>(&w - t.slots.data());
  w.live = false;
  w.destroying = false;
  w.proc = nullptr;
  w.extra.clear();
  w.queue.reset();
  if (w.generation != UINT32_MAX) {
    ++w.generation;
    t.freeSlots.push_back(index);
  }
  return cls;
}

}  // namespace

WNDPROC WindowProcFor(HWND hwnd) {
  if (const LookupCache* c = CachedLookup(hwnd)) return c->proc;
  WindowTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Window* w = FindAndKeepLocked(t, hwnd);
  return w ? w->proc : nullptr;
}

QueuePtr QueueOfWindow(HWND hwnd) {
  WindowTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Window* w = FindLocked(t, hwnd);
  return w ? w->queue : nullptr;
}

void EndThreadWindows(DWORD threadId) {
  std::vector<std::shared_ptr<WindowClass>> released;
  {
    WindowTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mu);
    for (Window& w : t.slots)
      if (w.live && w.thread == threadId) released.push_back(RetireLocked(t, w));
  }
  for (auto& cls : released) ReleaseClass(cls);
}

}  // namespace internal

using internal::Window;

namespace {
BOOL DestroyWindowSending(HWND hwnd, bool sendDestroy);
}  // namespace

HWND CreateWindowExA(DWORD, const char* className, const char*, DWORD, int, int, int, int, HWND,
                     HMENU, HINSTANCE hInstance, void*) {
  auto cls = internal::AcquireClass(hInstance, className);
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  internal::QueuePtr queue = internal::QueueOfCurrentThread();
  internal::WindowTable& t = internal::Table();
  std::unique_lock<std::mutex> lock(t.mu);
  uint32_t index;
  if (!t.freeSlots.empty()) {
    index = t.freeSlots.front();
    t.freeSlots.pop_front();
  } else {
    index = static_cast<uint32_t>(t.slots.size());
    t.slots.emplace_back();
    t.slots.back().generation = 1;
  }
  Window& w = t.slots[index];
  w.live = true;
  w.proc = cls->wc.lpfnWndProc;
  w.extra.assign(static_cast<size_t>(cls->wc.cbWndExtra), 0);
  w.thread = GetCurrentThreadId();
  w.queue = std::move(queue);
  w.cls = std::move(cls);
  const HWND hwnd = internal::Encode(index, w.generation);
  const WNDPROC proc = w.proc;
  lock.unlock();
  // As on Windows, the procedure may refuse its window while it is created.
  if (proc(hwnd, WM_NCCREATE, 0, 0) == 0) {
    DestroyWindowSending(hwnd, false);
    return nullptr;
  }
  if (proc(hwnd, WM_CREATE, 0, 0) == -1) {
    DestroyWindowSending(hwnd, true);
    return nullptr;
  }
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) { return DestroyWindowSending(hwnd, true); }

namespace {

// WM_DESTROY (unless creation stopped before the window was made), then
// WM_NCDESTROY, then the handle names nothing.
BOOL DestroyWindowSending(HWND hwnd, bool sendDestroy) {
  internal::WindowTable& t = internal::Table();
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> lock(t.mu);
    Window* w = internal::FindLocked(t, hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying) return TRUE;  // asked again from its own WM_DESTROY
    w->destroying = true;
    proc = w->proc;
  }
  // The slot is freed even when the procedure throws out of WM_DESTROY.
  struct Retire {
    internal::WindowTable& t;
    HWND hwnd;
    ~Retire() {
      internal::KillWindowTimers(hwnd);  // after WM_DESTROY, which might set one
      std::shared_ptr<internal::WindowClass> cls;
      {
        std::lock_guard<std::mutex> lock(t.mu);
        if (Window* w = internal::FindLocked(t, hwnd)) cls = internal::RetireLocked(t, *w);
      }
      if (cls) internal::ReleaseClass(cls);
    }
  } retire{t, hwnd};
  if (sendDestroy) proc(hwnd, WM_DESTROY, 0, 0);
  proc(hwnd, WM_NCDESTROY, 0, 0);
  return TRUE;
}

}  // namespace

BOOL IsWindow(HWND hwnd) {
  internal::WindowTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  return internal::FindLocked(t, hwnd) ? TRUE : FALSE;
}

namespace {

// The extra bytes at a byte offset of a live window, or null (with the error set).
unsigned char* ExtraSlotLocked(internal::WindowTable& t, HWND hwnd, int index) {
  Window* w = internal::FindLocked(t, hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return nullptr;
  }
  return w->extra.data() + index;
}

}  // namespace

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  internal::WindowTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  unsigned char* slot = ExtraSlotLocked(t, hwnd, index);
  if (!slot) return 0;
  internal::ChangedLocked();
  LONG_PTR previous;
  std::memcpy(&previous, slot, sizeof previous);
  std::memcpy(slot, &value, sizeof value);
  return previous;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  if (index == 0)
    if (const internal::LookupCache* c = internal::CachedLookup(hwnd))
      if (c->hasFirst) return c->first;
  internal::WindowTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  internal::FindAndKeepLocked(t, hwnd);
  unsigned char* slot = ExtraSlotLocked(t, hwnd, index);
  if (!slot) return 0;
  LONG_PTR value;
  std::memcpy(&value, slot, sizeof value);
  return value;
}

LRESULT DefWindowProcA(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_NCCREATE ? TRUE : 0; }

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
  internal::WindowTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Window* w = internal::FindLocked(t, hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (processId) *processId = static_cast<DWORD>(getpid());
  return w->thread;
}

}  // namespace win32
