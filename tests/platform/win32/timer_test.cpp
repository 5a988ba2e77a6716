// Window timers: WM_TIMER arrives through the thread's own loop, and a killed
// timer, or one of a destroyed window, posts nothing.
#include "tests/platform/PlatformTestUtil.h"

namespace {

int TimerMessages(const ptest::RecordingWindow& w, win32::UINT_PTR id) {
  int n = 0;
  for (const win32::MSG& m : w.got)
    if (m.message == win32::WM_TIMER && m.wParam == id) ++n;
  return n;
}

TEST(WindowTimer, PostsTimerMessageWhenDueAndKeepsGoingUntilKilled) {
  ptest::RecordingWindow w;
  ASSERT_EQ(win32::SetTimer(w.hwnd, 7, 20, nullptr), 7u);
  ASSERT_TRUE(ptest::PumpUntil([&] { return TimerMessages(w, 7) >= 2; }, 5000));
  EXPECT_EQ(w.got.front().message, win32::WM_TIMER);
  EXPECT_EQ(w.got.front().hwnd, w.hwnd);

  EXPECT_TRUE(win32::KillTimer(w.hwnd, 7));
  const int seen = TimerMessages(w, 7);
  ptest::Settle();
  EXPECT_EQ(TimerMessages(w, 7), seen);
  EXPECT_FALSE(win32::KillTimer(w.hwnd, 7));   // already gone
  EXPECT_FALSE(ptest::WaitHandleReadable(0));  // nothing left to wake the loop
}

TEST(WindowTimer, KilledOrDestroyedBeforeDuePostsNothing) {
  ptest::RecordingWindow killed;
  ptest::RecordingWindow destroyed;
  ptest::RecordingWindow control;
  ASSERT_NE(win32::SetTimer(killed.hwnd, 1, 30, nullptr), 0u);
  ASSERT_NE(win32::SetTimer(destroyed.hwnd, 1, 30, nullptr), 0u);
  ASSERT_NE(win32::SetTimer(control.hwnd, 2, 150, nullptr), 0u);
  EXPECT_TRUE(win32::KillTimer(killed.hwnd, 1));
  win32::SetWindowLongPtrA(destroyed.hwnd, 0, 0);
  EXPECT_TRUE(win32::DestroyWindow(destroyed.hwnd));
  // The control fires well after the others would have.
  ASSERT_TRUE(ptest::PumpUntil([&] { return TimerMessages(control, 2) >= 1; }, 5000));
  EXPECT_TRUE(killed.got.empty());
  EXPECT_TRUE(destroyed.got.empty());
  EXPECT_FALSE(win32::KillTimer(destroyed.hwnd, 1));
  win32::KillTimer(control.hwnd, 2);
}

TEST(WindowTimer, ExpiryWaitingInTheQueueIsTakenBackByKillOrRestart) {
  ptest::RecordingWindow w;
  ASSERT_NE(win32::SetTimer(w.hwnd, 3, 10, nullptr), 0u);
  // Let it expire into the queue without dispatching it.
  win32::MSG m{};
  const int64_t deadline = ptest::NowMs() + 5000;
  while (!win32::PeekMessageA(&m, w.hwnd, win32::WM_TIMER, win32::WM_TIMER, win32::PM_NOREMOVE) &&
         ptest::NowMs() < deadline)
    win32::WaitForQueue(100);
  ASSERT_EQ(m.message, win32::WM_TIMER);

  // Restarting with a long period voids the waiting expiry; killing ends it.
  ASSERT_NE(win32::SetTimer(w.hwnd, 3, 60000, nullptr), 0u);
  EXPECT_FALSE(
      win32::PeekMessageA(&m, w.hwnd, win32::WM_TIMER, win32::WM_TIMER, win32::PM_NOREMOVE));
  EXPECT_TRUE(win32::KillTimer(w.hwnd, 3));
  EXPECT_TRUE(w.got.empty());
}

TEST(WindowTimer, RejectsWhatWin32Rejects) {
  EXPECT_EQ(win32::SetTimer(nullptr, 1, 10, nullptr), 0u);
  ptest::RecordingWindow w;
  auto proc = [](win32::HWND, win32::UINT, win32::UINT_PTR, win32::DWORD) {};
  EXPECT_EQ(win32::SetTimer(w.hwnd, 1, 10, proc), 0u);
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_INVALID_PARAMETER);
}

}  // namespace
