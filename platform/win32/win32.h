// Win32-shaped services: window classes, hidden windows, per-thread message
// queues, tick count, thread id, module path, libraries by name, keyboard hooks
// and private profile (INI) files. On Windows each maps onto the real function
// of the same name; on Linux a stand-in gives them the same behaviour.
//
// One thread, one loop: on Linux every thread that uses a queue gets one wait
// handle (an epoll descriptor) that is readable exactly when something can be
// dispatched; on Windows the thread's own message queue is that handle.
//
// The names below are macros once <windows.h> is included; they are kept
// aside here, so this header may come before or after it.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma push_macro("TRUE")
#pragma push_macro("FALSE")
#pragma push_macro("WM_NULL")
#pragma push_macro("WM_DESTROY")
#pragma push_macro("WM_NCDESTROY")
#pragma push_macro("WM_NCCREATE")
#pragma push_macro("WM_CREATE")
#pragma push_macro("WM_CLOSE")
#pragma push_macro("WM_QUIT")
#pragma push_macro("WM_TIMER")
#pragma push_macro("WM_USER")
#pragma push_macro("WS_POPUP")
#pragma push_macro("WS_EX_TOOLWINDOW")
#pragma push_macro("PM_NOREMOVE")
#pragma push_macro("PM_REMOVE")
#pragma push_macro("ERROR_SUCCESS")
#pragma push_macro("ERROR_FILE_NOT_FOUND")
#pragma push_macro("ERROR_PATH_NOT_FOUND")
#pragma push_macro("ERROR_ACCESS_DENIED")
#pragma push_macro("ERROR_INVALID_HANDLE")
#pragma push_macro("ERROR_NOT_ENOUGH_MEMORY")
#pragma push_macro("ERROR_INVALID_PARAMETER")
#pragma push_macro("ERROR_INSUFFICIENT_BUFFER")
#pragma push_macro("ERROR_MOD_NOT_FOUND")
#pragma push_macro("ERROR_PROC_NOT_FOUND")
#pragma push_macro("ERROR_CLASS_ALREADY_EXISTS")
#pragma push_macro("ERROR_CLASS_DOES_NOT_EXIST")
#pragma push_macro("ERROR_CLASS_HAS_WINDOWS")
#pragma push_macro("ERROR_INVALID_WINDOW_HANDLE")
#pragma push_macro("ERROR_CANNOT_FIND_WND_CLASS")
#pragma push_macro("ERROR_INVALID_INDEX")
#pragma push_macro("ERROR_INVALID_THREAD_ID")
#pragma push_macro("ERROR_HOOK_NEEDS_HMOD")
#pragma push_macro("ERROR_INVALID_FILTER_PROC")
#pragma push_macro("ERROR_INVALID_HOOK_HANDLE")
#pragma push_macro("ERROR_NOT_SUPPORTED")
#pragma push_macro("USER_TIMER_MINIMUM")
#pragma push_macro("WH_KEYBOARD")
#undef TRUE
#undef FALSE
#undef WM_NULL
#undef WM_DESTROY
#undef WM_NCDESTROY
#undef WM_NCCREATE
#undef WM_CREATE
#undef WM_CLOSE
#undef WM_QUIT
#undef WM_TIMER
#undef WM_USER
#undef WS_POPUP
#undef WS_EX_TOOLWINDOW
#undef PM_NOREMOVE
#undef PM_REMOVE
#undef ERROR_SUCCESS
#undef ERROR_FILE_NOT_FOUND
#undef ERROR_PATH_NOT_FOUND
#undef ERROR_ACCESS_DENIED
#undef ERROR_INVALID_HANDLE
#undef ERROR_NOT_ENOUGH_MEMORY
#undef ERROR_INVALID_PARAMETER
#undef ERROR_INSUFFICIENT_BUFFER
#undef ERROR_MOD_NOT_FOUND
#undef ERROR_PROC_NOT_FOUND
#undef ERROR_CLASS_ALREADY_EXISTS
#undef ERROR_CLASS_DOES_NOT_EXIST
#undef ERROR_CLASS_HAS_WINDOWS
#undef ERROR_INVALID_WINDOW_HANDLE
#undef ERROR_CANNOT_FIND_WND_CLASS
#undef ERROR_INVALID_INDEX
#undef ERROR_INVALID_THREAD_ID
#undef ERROR_HOOK_NEEDS_HMOD
#undef ERROR_INVALID_FILTER_PROC
#undef ERROR_INVALID_HOOK_HANDLE
#undef ERROR_NOT_SUPPORTED
#undef USER_TIMER_MINIMUM
#undef WH_KEYBOARD

namespace win32 {

using BOOL = int;
using UINT = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using ATOM = uint16_t;
using LONG = int32_t;
using LONG_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

struct HWND__;
using HWND = HWND__*;
using HINSTANCE = void*;
using HMODULE = void*;
using HMENU = void*;
struct HHOOK__;
using HHOOK = HHOOK__*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  void* hIcon;
  void* hCursor;
  void* hbrBackground;
  const char* lpszMenuName;
  const char* lpszClassName;
};

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

// Messages
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

// Window styles
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080u;

// PeekMessage flags
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// Error codes for GetLastError
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_INVALID_INDEX = 1413;
constexpr DWORD ERROR_INVALID_HOOK_HANDLE = 1404;
constexpr DWORD ERROR_INVALID_FILTER_PROC = 1427;
constexpr DWORD ERROR_HOOK_NEEDS_HMOD = 1428;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;

// ---- Window classes and windows (windows are hidden: never drawn) ----------
// Creating sends WM_NCCREATE (0 from the procedure stops it; DefWindowProcA
// gives TRUE) and WM_CREATE (-1 stops it); destroying sends WM_DESTROY, then
// WM_NCDESTROY. On Linux lParam is 0 there, not the creation record: keep a
// window's data in its extra bytes. A null instance is the program's own
// module. On Windows a window without a parent is made message-only
// (HWND_MESSAGE): never shown, no broadcasts, no display needed.
ATOM RegisterClassA(const WNDCLASSA* wc);
BOOL GetClassInfoA(HINSTANCE hInstance, const char* className, WNDCLASSA* wc);
BOOL UnregisterClassA(const char* className, HINSTANCE hInstance);
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                     int x, int y, int width, int height, HWND parent, HMENU menu,
                     HINSTANCE hInstance, void* param);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
// Extra window bytes: index is a byte offset into cbWndExtra (slot 0 is offset 0).
// Negative indexes (the system's own fields) fail with ERROR_INVALID_INDEX.
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The thread that created the window (its messages go to that thread's queue).
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);

// ---- Message queues --------------------------------------------------------
// PostMessageA and PostThreadMessageA are the only entry points safe to call
// from any thread.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
// Blocks (without spinning) until a message arrives; returns 0 for WM_QUIT.
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
// Calls the window's procedure at once on its own thread. From another thread
// the sender waits until the window's thread looks at its queue (PeekMessageA,
// GetMessageA), which runs the procedure there first; a window gone, or its
// thread ended, gives 0. Unlike Windows the waiting sender serves no sends of
// its own on Linux: two threads sending to each other would wait for ever.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The calling thread's wait handle: a descriptor that is readable exactly when
// PeekMessageA would find something or a watched descriptor (below) is ready.
// Created on first use (the main thread's before main(), so it is a low
// number); stays open. Watch it for reading (select, poll, Fl::add_fd), then
// pump with PeekMessageA(PM_REMOVE) until it returns FALSE: socket readiness
// becomes messages, and watch callbacks run, only while you pump.
// Windows has no such descriptor (wait with WaitForQueue or
// MsgWaitForMultipleObjects): -1 with ERROR_NOT_SUPPORTED.
int GetQueueWaitHandle();
// Blocks until the calling thread has something to dispatch, or timeoutMs
// passes (-1: no limit). The wait is itself a look: readiness it finds runs
// the watch callbacks at once (sockets become messages), so pump with
// PeekMessageA(PM_REMOVE) when it returns. Returns true when something can be
// dispatched or a callback ran (in rare races a look then finds nothing:
// callers pump and wait again). On Windows: MsgWaitForMultipleObjectsEx on
// all input, counting what is already queued.
bool WaitForQueue(int timeoutMs);

// ---- Descriptors watched by the thread's loop -------------------------------
// Every descriptor the loop serves is registered here by whoever owns it, with
// its own callback: the calling thread's queue watches fd for the epoll events
// given (EPOLLIN, EPOLLOUT, EPOLLET, EPOLLONESHOT, ...). When fd is ready, proc
// runs on this thread during a look at the queue (PeekMessageA, GetMessageA,
// WaitForQueue) with the events reported. It runs inside the look: it may post
// messages and change or remove watches, but must not pump or wait. A watch
// whose readiness it leaves standing keeps the wait handle readable, so proc
// consumes it (or the interest is one-shot). Remove the watch before closing fd.
// Linux only: on Windows sockets report by window messages, so WatchDescriptor
// returns 0 and ChangeDescriptorWatch FALSE with ERROR_NOT_SUPPORTED, and
// UnwatchDescriptor does nothing.
using DescriptorProc = void (*)(int fd, uint32_t events, void* context);
// Returns the watch's id, 0 when the descriptor cannot be watched (a regular
// file, a closed descriptor); events 0 registers without watching yet.
uint64_t WatchDescriptor(int fd, uint32_t events, DescriptorProc proc, void* context);
// New interest for a watch of the calling thread (0: not watched for now).
BOOL ChangeDescriptorWatch(uint64_t watch, uint32_t events);
void UnwatchDescriptor(uint64_t watch);

// ---- Window timers -----------------------------------------------------------
// Posts WM_TIMER (wParam = id) to hwnd every elapseMs (at least
// USER_TIMER_MINIMUM) until KillTimer or DestroyWindow; an expiry the window
// has not yet served is not posted twice. Only the window's own thread may set
// or kill its timers; the expiry is found by that thread's loop, so it needs
// no thread of its own. Setting an existing id restarts it with the new
// period. proc must be null and hwnd a window (ERROR_INVALID_PARAMETER
// otherwise, on Windows too). Returns id (1 for id 0), 0 on failure.
constexpr UINT USER_TIMER_MINIMUM = 10;
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
// Stops the timer; nothing of it is posted afterwards, and an expiry still
// waiting in the queue is taken back.
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// ---- Time, threads, modules ------------------------------------------------
DWORD GetTickCount();
DWORD GetCurrentThreadId();
void Sleep(DWORD milliseconds);
HMODULE GetModuleHandleA(const char* moduleName);  // nullptr: the program itself
DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size);

// ---- Libraries by name -----------------------------------------------------
HMODULE LoadLibraryA(const char* fileName);
void* GetProcAddress(HMODULE module, const char* procName);
BOOL FreeLibrary(HMODULE module);
DWORD GetLastError();
void SetLastError(DWORD code);

// A library that a platform layer provides in-process, found by LoadLibraryA.
struct LibraryExport {
  const char* name;
  void* proc;
};
// Registers (or replaces) a library under its file name, case-insensitively.
// Linux only: on Windows LoadLibraryA finds real DLLs, and this does nothing.
void RegisterLibrary(const char* fileName, const LibraryExport* exports, size_t count);

// Test-only failure injection for LoadLibraryA and GetProcAddress (on Windows
// in front of the system loader; counts there are of loads made through here).
namespace testing {
// LoadLibraryA of fileName fails with the given system error code (0: stop failing).
void FailLoadLibrary(const char* fileName, DWORD errorCode);
// GetProcAddress of procName in fileName fails with ERROR_PROC_NOT_FOUND.
void FailProcAddress(const char* fileName, const char* procName, bool fail = true);
void ResetLibraryFailures();
// How many times the library is loaded right now (load count minus frees).
int LibraryLoadCount(const char* fileName);
// Whether the calling thread has something to dispatch within timeoutMs (0:
// now), without taking a message or running a watch callback.
bool QueueReady(int timeoutMs);
}  // namespace testing

// ---- Keyboard hooks (per thread) -------------------------------------------
constexpr int WH_KEYBOARD = 2;
using HOOKPROC = LRESULT (*)(int code, WPARAM wParam, LPARAM lParam);
HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE hmod, DWORD threadId);
BOOL UnhookWindowsHookEx(HHOOK hook);
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
// Runs the thread's keyboard hook chain for one keystroke, newest hook first.
// Returns true when a hook let it through (or none is installed). For a window
// backend that gets keys without the system's hooks (FLTK on Linux). On
// Windows the system runs the chain for every keystroke itself, so this runs
// nothing and returns true (else each key would reach the hooks twice).
bool CallKeyboardHooks(WPARAM key, LPARAM flags);

// ---- Private profile (INI) files -------------------------------------------
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* returned, DWORD size, const char* fileName);
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName);

}  // namespace win32

#pragma pop_macro("TRUE")
#pragma pop_macro("FALSE")
#pragma pop_macro("WM_NULL")
#pragma pop_macro("WM_DESTROY")
#pragma pop_macro("WM_NCDESTROY")
#pragma pop_macro("WM_NCCREATE")
#pragma pop_macro("WM_CREATE")
#pragma pop_macro("WM_CLOSE")
#pragma pop_macro("WM_QUIT")
#pragma pop_macro("WM_TIMER")
#pragma pop_macro("WM_USER")
#pragma pop_macro("WS_POPUP")
#pragma pop_macro("WS_EX_TOOLWINDOW")
#pragma pop_macro("PM_NOREMOVE")
#pragma pop_macro("PM_REMOVE")
#pragma pop_macro("ERROR_SUCCESS")
#pragma pop_macro("ERROR_FILE_NOT_FOUND")
#pragma pop_macro("ERROR_PATH_NOT_FOUND")
#pragma pop_macro("ERROR_ACCESS_DENIED")
#pragma pop_macro("ERROR_INVALID_HANDLE")
#pragma pop_macro("ERROR_NOT_ENOUGH_MEMORY")
#pragma pop_macro("ERROR_INVALID_PARAMETER")
#pragma pop_macro("ERROR_INSUFFICIENT_BUFFER")
#pragma pop_macro("ERROR_MOD_NOT_FOUND")
#pragma pop_macro("ERROR_PROC_NOT_FOUND")
#pragma pop_macro("ERROR_CLASS_ALREADY_EXISTS")
#pragma pop_macro("ERROR_CLASS_DOES_NOT_EXIST")
#pragma pop_macro("ERROR_CLASS_HAS_WINDOWS")
#pragma pop_macro("ERROR_INVALID_WINDOW_HANDLE")
#pragma pop_macro("ERROR_CANNOT_FIND_WND_CLASS")
#pragma pop_macro("ERROR_INVALID_INDEX")
#pragma pop_macro("ERROR_INVALID_THREAD_ID")
#pragma pop_macro("ERROR_HOOK_NEEDS_HMOD")
#pragma pop_macro("ERROR_INVALID_FILTER_PROC")
#pragma pop_macro("ERROR_INVALID_HOOK_HANDLE")
#pragma pop_macro("ERROR_NOT_SUPPORTED")
#pragma pop_macro("USER_TIMER_MINIMUM")
#pragma pop_macro("WH_KEYBOARD")
