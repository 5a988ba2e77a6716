// Keyboard hooks per thread: a chain, newest first, that the window backend
// runs for every keystroke of the thread before the key reaches a window.
//
// The registry is shared (a hook may be installed for another thread) but no
// lock is held while a hook runs, so a hook may install or remove hooks itself.
#include <mutex>
#include <vector>

#include "platform/win32/win32.h"

namespace win32 {
namespace {

struct Hook {
  uintptr_t id;
  HOOKPROC proc;
  DWORD thread;
};

std::mutex g_lock;
std::vector<Hook> g_hooks;  // in order of installation
uintptr_t g_nextId = 1;

HHOOK HandleOf(uintptr_t id) { return reinterpret_cast<HHOOK>(id); }

// The newest hook of the thread installed before `after` (0: the newest of all).
bool NextHook(DWORD thread, uintptr_t after, Hook& out) {
  std::lock_guard<std::mutex> guard(g_lock);
  size_t i = g_hooks.size();
  if (after != 0) {
    while (i > 0 && g_hooks[i - 1].id != after) --i;
    if (i == 0) return false;  // `after` is gone: the chain ends here
    --i;
  }
  while (i > 0) {
    --i;
    if (g_hooks[i].thread == thread) {
      out = g_hooks[i];
      return true;
    }
  }
  return false;
}

}  // namespace

HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE, DWORD threadId) {
  // The system's codes: no procedure, and a hook for every thread (0) without
  // the module it lives in. Only thread-local keyboard hooks exist here; a
  // system-wide one would need code injected into other processes.
  if (!proc) {
    SetLastError(ERROR_INVALID_FILTER_PROC);
    return nullptr;
  }
  if (threadId == 0) {
    SetLastError(ERROR_HOOK_NEEDS_HMOD);
    return nullptr;
  }
  if (idHook != WH_KEYBOARD) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(g_lock);
  Hook h{g_nextId++, proc, threadId};
  g_hooks.push_back(h);
  return HandleOf(h.id);
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
  std::lock_guard<std::mutex> guard(g_lock);
  for (auto it = g_hooks.begin(); it != g_hooks.end(); ++it)
    if (HandleOf(it->id) == hook) {
      g_hooks.erase(it);
      return TRUE;
    }
  SetLastError(ERROR_INVALID_HOOK_HANDLE);
  return FALSE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  Hook next{};
  if (!hook || !NextHook(GetCurrentThreadId(), reinterpret_cast<uintptr_t>(hook), next)) return 0;
  return next.proc(code, wParam, lParam);
}

bool CallKeyboardHooks(WPARAM key, LPARAM flags) {
  Hook newest{};
  if (!NextHook(GetCurrentThreadId(), 0, newest)) return true;
  constexpr int HC_ACTION = 0;
  return newest.proc(HC_ACTION, key, flags) == 0;
}

}  // namespace win32
