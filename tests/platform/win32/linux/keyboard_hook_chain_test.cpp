// The per-thread keyboard hook chain a window backend without the system's
// hooks runs itself (CallKeyboardHooks).
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/win32/win32.h"

namespace {

std::string g_calls;
win32::HHOOK g_older = nullptr, g_newer = nullptr;

win32::LRESULT Older(int, win32::WPARAM, win32::LPARAM) {
  g_calls += "older ";
  return 0;
}
win32::LRESULT PassingOn(int code, win32::WPARAM w, win32::LPARAM l) {
  g_calls += "passing ";
  return win32::CallNextHookEx(g_newer, code, w, l);
}
win32::LRESULT Eating(int, win32::WPARAM, win32::LPARAM) {
  g_calls += "eating ";
  return 1;
}
// Like the relay's hook: lets every key through and calls no older hook.
win32::LRESULT Silent(int, win32::WPARAM, win32::LPARAM) {
  g_calls += "silent ";
  return 0;
}

win32::HHOOK Install(win32::HOOKPROC proc) {
  return win32::SetWindowsHookExA(win32::WH_KEYBOARD, proc, nullptr, win32::GetCurrentThreadId());
}

TEST(KeyboardHooks, ChainRunsNewestFirstAndStopsWhereAHookDoesNotPassOn) {
  g_calls.clear();
  EXPECT_TRUE(win32::CallKeyboardHooks('A', 1));  // no hook: the key goes through
  g_older = Install(Older);
  ASSERT_NE(g_older, nullptr);
  g_newer = Install(PassingOn);
  EXPECT_TRUE(win32::CallKeyboardHooks('A', 1));
  EXPECT_EQ(g_calls, "passing older ");

  g_calls.clear();
  win32::HHOOK silent = Install(Silent);
  EXPECT_TRUE(win32::CallKeyboardHooks('A', 1));
  EXPECT_EQ(g_calls, "silent ");
  EXPECT_EQ(win32::UnhookWindowsHookEx(silent), win32::TRUE);

  g_calls.clear();
  win32::HHOOK eating = Install(Eating);
  EXPECT_FALSE(win32::CallKeyboardHooks('A', 1));
  EXPECT_EQ(g_calls, "eating ");
  EXPECT_EQ(win32::UnhookWindowsHookEx(eating), win32::TRUE);
  EXPECT_EQ(win32::UnhookWindowsHookEx(eating), win32::FALSE);  // already gone

  g_calls.clear();
  EXPECT_EQ(win32::UnhookWindowsHookEx(g_older), win32::TRUE);
  EXPECT_TRUE(win32::CallKeyboardHooks('A', 1));
  EXPECT_EQ(g_calls, "passing ");  // the next hook is gone: the chain ends
  EXPECT_EQ(win32::UnhookWindowsHookEx(g_newer), win32::TRUE);
}

TEST(KeyboardHooks, HooksBelongToTheirThread) {
  g_calls.clear();
  win32::HHOOK hook = Install(Eating);
  bool passedElsewhere = false;
  std::thread([&] { passedElsewhere = win32::CallKeyboardHooks('A', 1); }).join();
  EXPECT_TRUE(passedElsewhere);
  EXPECT_EQ(g_calls, "");
  EXPECT_EQ(win32::UnhookWindowsHookEx(hook), win32::TRUE);
}

}  // namespace
