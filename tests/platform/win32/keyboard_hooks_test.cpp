// Keyboard hooks: a thread's own hook is installed and removed once; what the
// system refuses is refused with its codes.
#include <gtest/gtest.h>

#include "platform/win32/win32.h"

namespace {

win32::LRESULT Silent(int, win32::WPARAM, win32::LPARAM) { return 0; }

TEST(KeyboardHooks, InstalledForTheThreadAndRemovedOnce) {
  win32::HHOOK hook =
      win32::SetWindowsHookExA(win32::WH_KEYBOARD, Silent, nullptr, win32::GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  EXPECT_EQ(win32::UnhookWindowsHookEx(hook), win32::TRUE);
  EXPECT_EQ(win32::UnhookWindowsHookEx(hook), win32::FALSE);
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_INVALID_HOOK_HANDLE);
}

TEST(KeyboardHooks, RefusesWhatTheSystemRefuses) {
  const win32::DWORD self = win32::GetCurrentThreadId();
  EXPECT_EQ(win32::SetWindowsHookExA(win32::WH_KEYBOARD, nullptr, nullptr, self), nullptr);
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_INVALID_FILTER_PROC);
  // A hook for every thread needs the module its procedure lives in.
  EXPECT_EQ(win32::SetWindowsHookExA(win32::WH_KEYBOARD, Silent, nullptr, 0), nullptr);
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_HOOK_NEEDS_HMOD);
  // The low-level keyboard hook is global only (Windows documents
  // ERROR_GLOBAL_ONLY_HOOK; Wine and the stand-in say ERROR_INVALID_PARAMETER).
  EXPECT_EQ(win32::SetWindowsHookExA(13, Silent, nullptr, self), nullptr);
  EXPECT_NE(win32::GetLastError(), 0u);
}

}  // namespace
