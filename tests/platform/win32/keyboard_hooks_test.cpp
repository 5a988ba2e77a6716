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
}

TEST(KeyboardHooks, RefusesWhatTheSystemRefuses) {
  win32::SetLastError(0);
  EXPECT_EQ(
      win32::SetWindowsHookExA(win32::WH_KEYBOARD, nullptr, nullptr, win32::GetCurrentThreadId()),
      nullptr);
  EXPECT_NE(win32::GetLastError(), 0u);
  // A hook for every thread needs the module its procedure lives in.
  win32::SetLastError(0);
  EXPECT_EQ(win32::SetWindowsHookExA(win32::WH_KEYBOARD, Silent, nullptr, 0), nullptr);
  EXPECT_NE(win32::GetLastError(), 0u);
}

}  // namespace
