// Window classes, hidden windows and the per-thread message queue: posting,
// filters, re-entrant dispatch, waking a blocked thread, quitting, and the
// thread having something to dispatch exactly when something is queued.
#include <atomic>
#include <memory>
#include <set>
#include <thread>

#include "tests/platform/PlatformTestUtil.h"
#include "rtl/Application.h"

namespace {

using ptest::RecordingWindow;
using namespace win32;

LRESULT CountingProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

WNDCLASSA ClassNamed(const char* name, int extra = 0) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = &CountingProc;
  wc.cbWndExtra = extra;
  wc.lpszClassName = name;
  return wc;
}

void DrainQueue() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(WindowClasses, NamesIgnoreCaseAndClassesWithWindowsStay) {
  WNDCLASSA wc = ClassNamed("QueueTestClass", 16);
  ATOM atom = RegisterClassA(&wc);
  EXPECT_NE(atom, 0);
  WNDCLASSA again = ClassNamed("QUEUETESTCLASS");
  EXPECT_EQ(RegisterClassA(&again), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);

  WNDCLASSA info{};
  ASSERT_TRUE(GetClassInfoA(nullptr, "queuetestclass", &info));
  EXPECT_EQ(info.lpfnWndProc, &CountingProc);
  EXPECT_EQ(info.cbWndExtra, 16);
  EXPECT_FALSE(GetClassInfoA(nullptr, "NoSuchClass", &info));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);

  HWND w = CreateWindowExA(0, "QueueTestClass", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(UnregisterClassA("QueueTestClass", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_TRUE(UnregisterClassA("queueTestClass", nullptr));
  EXPECT_FALSE(UnregisterClassA("QueueTestClass", nullptr));
  EXPECT_EQ(
      CreateWindowExA(0, "QueueTestClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
      nullptr);
}

TEST(Windows, ExtraBytesAreByteOffsetsAndBounded) {
  WNDCLASSA wc = ClassNamed("ExtraBytesClass", 16);
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND w =
      CreateWindowExA(0, "ExtraBytesClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(GetWindowLongPtrA(w, 0), 0);
  EXPECT_EQ(SetWindowLongPtrA(w, 0, 1111), 0);
  EXPECT_EQ(SetWindowLongPtrA(w, 8, 2222), 0);
  EXPECT_EQ(SetWindowLongPtrA(w, 0, 3333), 1111);  // returns the previous value
  EXPECT_EQ(GetWindowLongPtrA(w, 0), 3333);
  EXPECT_EQ(GetWindowLongPtrA(w, 8), 2222);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrA(w, 9), 0);  // would run past the 16 bytes
  EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
  EXPECT_EQ(SetWindowLongPtrA(w, -8, 1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(w, &pid), GetCurrentThreadId());
  EXPECT_NE(pid, 0u);
  DestroyWindow(w);
  EXPECT_EQ(GetWindowLongPtrA(w, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  UnregisterClassA("ExtraBytesClass", nullptr);
}

TEST(Windows, DestroyedHandlesNeverNameANewWindow) {
  std::set<HWND> dead;
  for (int i = 0; i < 200; ++i) {
    RecordingWindow w;
    EXPECT_TRUE(IsWindow(w.hwnd));
    EXPECT_EQ(dead.count(w.hwnd), 0u) << "a destroyed handle came back";
    DestroyWindow(w.hwnd);
    ASSERT_EQ(w.got.size(), 2u);
    EXPECT_EQ(w.got[0].message, WM_DESTROY);
    EXPECT_EQ(w.got[1].message, WM_NCDESTROY);
    EXPECT_FALSE(IsWindow(w.hwnd));
    dead.insert(w.hwnd);
  }
  for (HWND h : dead) EXPECT_FALSE(PostMessageA(h, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

// Lookups of a window are kept between messages: a change made by another
// thread, or the window's end, must be seen by the next one.
int g_dispatched = 0;
LRESULT DispatchCountingProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg != WM_USER) return DefWindowProcA(h, msg, w, l);
  ++g_dispatched;
  return 0;
}

TEST(Windows, LookupsSeeChangesFromAnyThreadAndTheWindowsEnd) {
  WNDCLASSA wc = ClassNamed("LookupClass", 8);
  wc.lpfnWndProc = &DispatchCountingProc;
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND w = CreateWindowExA(0, "LookupClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  HWND other =
      CreateWindowExA(0, "LookupClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtrA(w, 0, 1);
  SetWindowLongPtrA(other, 0, 2);
  EXPECT_EQ(GetWindowLongPtrA(w, 0), 1);
  std::thread([&] { SetWindowLongPtrA(w, 0, 5); }).join();
  EXPECT_EQ(GetWindowLongPtrA(w, 0), 5);
  EXPECT_EQ(GetWindowLongPtrA(other, 0), 2);
  EXPECT_EQ(GetWindowLongPtrA(w, 0), 5);

  g_dispatched = 0;
  MSG msg{w, WM_USER, 0, 0, 0, {0, 0}};
  DispatchMessageA(&msg);
  EXPECT_EQ(g_dispatched, 1);
  DestroyWindow(w);
  DispatchMessageA(&msg);  // for a window gone: dropped
  EXPECT_EQ(g_dispatched, 1);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrA(w, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  // The slot comes back with a new handle; the old one still names nothing.
  HWND again =
      CreateWindowExA(0, "LookupClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(GetWindowLongPtrA(again, 0), 0);
  DispatchMessageA(&msg);
  EXPECT_EQ(g_dispatched, 1);
  DestroyWindow(again);
  DestroyWindow(other);
  UnregisterClassA("LookupClass", nullptr);
}

TEST(MessageQueue, FiltersPickByWindowAndRange) {
  DrainQueue();
  RecordingWindow a, b;
  PostMessageA(a.hwnd, WM_USER + 1, 1, 0);
  PostMessageA(b.hwnd, WM_USER + 2, 2, 0);
  PostThreadMessageA(GetCurrentThreadId(), WM_USER + 3, 3, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, b.hwnd, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, 2u);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(m.hwnd, nullptr);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&m, a.hwnd, WM_USER + 2, WM_USER + 3, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));  // first posted, first out
  EXPECT_EQ(m.wParam, 1u);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.wParam, 2u);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

// Taking from the middle and from the front, past the queue's first growth and
// around its end, keeps the order.
TEST(MessageQueue, ManyMessagesKeepTheirOrder) {
  DrainQueue();
  RecordingWindow a, b;
  MSG m;
  WPARAM next = 0;
  for (int round = 0; round < 3; ++round) {
    for (WPARAM i = 0; i < 50; ++i) PostMessageA(i % 2 ? b.hwnd : a.hwnd, WM_USER, next + i, 0);
    for (WPARAM i = 1; i < 50; i += 2) {
      ASSERT_TRUE(PeekMessageA(&m, b.hwnd, 0, 0, PM_REMOVE));
      EXPECT_EQ(m.wParam, next + i);
    }
    for (WPARAM i = 0; i < 50; i += 2) {
      ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
      EXPECT_EQ(m.wParam, next + i);
    }
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    next += 50;
  }
}

TEST(MessageQueue, WaitHandleIsReadableExactlyWhileSomethingIsQueued) {
  DrainQueue();
  RecordingWindow w;
  EXPECT_FALSE(ptest::WaitHandleReadable());
  PostMessageA(w.hwnd, WM_USER, 0, 0);
  EXPECT_TRUE(ptest::WaitHandleReadable());
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_TRUE(ptest::WaitHandleReadable());
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(ptest::WaitHandleReadable());
  EXPECT_FALSE(WaitForQueue(0));
  PostQuitMessage(0);
  EXPECT_TRUE(ptest::WaitHandleReadable());
  EXPECT_TRUE(WaitForQueue(0));
  DrainQueue();
  EXPECT_FALSE(ptest::WaitHandleReadable());
}

// Handlers pump nested, destroy their own window with messages still queued
// for it, and post to themselves; nothing crashes and nothing is lost.
TEST(MessageQueue, DispatchIsReentrant) {
  DrainQueue();
  RecordingWindow outer, other;
  std::vector<std::string> order;
  other.onMessage = [&](const MSG& m) {
    if (m.message == WM_USER) order.push_back("other " + std::to_string(m.wParam));
  };
  outer.onMessage = [&](const MSG& m) {
    if (m.message == WM_DESTROY) order.push_back("outer destroyed");
    if (m.message != WM_USER) return;
    order.push_back("outer " + std::to_string(m.wParam));
    if (m.wParam == 1) {
      MSG nested;  // a handler that waits and pumps, as the socket's loops do
      while (PeekMessageA(&nested, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&nested);
      PostMessageA(outer.hwnd, WM_USER, 3, 0);
    } else if (m.wParam == 3) {
      PostMessageA(outer.hwnd, WM_USER, 4, 0);
      DestroyWindow(outer.hwnd);
    }
  };
  PostMessageA(outer.hwnd, WM_USER, 1, 0);
  PostMessageA(other.hwnd, WM_USER, 2, 0);
  ASSERT_TRUE(ptest::PumpUntil([&] { return !IsWindow(outer.hwnd); }));
  ptest::Settle();
  // WM_DESTROY arrives; the message posted just before the destroy is dropped.
  EXPECT_EQ(order, (std::vector<std::string>{"outer 1", "other 2", "outer 3", "outer destroyed"}));
  MSG stale{outer.hwnd, WM_USER, 5, 0, 0, {0, 0}};
  EXPECT_EQ(DispatchMessageA(&stale), 0);
}

// Each post comes only once the waiting thread sleeps in its wait (seen in the
// kernel on the stand-in; on Windows, the system's own wait, after a pause).
TEST(MessageQueue, PostFromAnotherThreadWakesABlockedWait) {
  DrainQueue();
  RecordingWindow w;
  const DWORD self = GetCurrentThreadId();
#ifdef _WIN32
  auto blocked = [] {
    Sleep(50);
    return true;
  };
#else
  auto blocked = [tid = testsupport::KernelThreadId()] {
    return testsupport::BlockedInWait(tid);
  };
#endif
  std::atomic<bool> tookFirst{false};
  bool blockedBeforeFirst = false, blockedBeforeSecond = false;
  std::thread poster([&] {
    blockedBeforeFirst = blocked();
    PostMessageA(w.hwnd, WM_USER, 7, 0);
    const int64_t deadline = ptest::NowMs() + 5000;
    while (!tookFirst && ptest::NowMs() < deadline) std::this_thread::yield();
    blockedBeforeSecond = blocked();
    PostThreadMessageA(self, WM_USER + 1, 8, 0);
  });
  EXPECT_TRUE(WaitForQueue(10000));
  MSG m;
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.wParam, 7u);
  tookFirst = true;
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));  // blocks until the thread message
  EXPECT_EQ(m.wParam, 8u);
  poster.join();
  EXPECT_TRUE(blockedBeforeFirst) << "WaitForQueue never blocked";
  EXPECT_TRUE(blockedBeforeSecond) << "GetMessageA never blocked";
  EXPECT_FALSE(PostThreadMessageA(0x7FFFFFF0u, WM_USER, 0, 0));
  // The documented code; Wine says ERROR_INVALID_PARAMETER.
  EXPECT_TRUE(GetLastError() == ERROR_INVALID_THREAD_ID || GetLastError() == ERROR_INVALID_PARAMETER)
      << GetLastError();
}

// Waiting with a filter while other messages stay queued must block, not spin.
TEST(MessageQueue, FilteredGetMessageSleepsPastUnmatchedMessages) {
  DrainQueue();
  RecordingWindow a, b;
  PostMessageA(a.hwnd, WM_USER, 1, 0);
  std::thread poster([&] {
    Sleep(150);
    PostMessageA(b.hwnd, WM_USER, 2, 0);
  });
  const double cpu = ptest::ThreadCpuMs();
  MSG m;
  ASSERT_TRUE(GetMessageA(&m, b.hwnd, 0, 0));
  EXPECT_EQ(m.wParam, 2u);
  EXPECT_LT(ptest::ThreadCpuMs() - cpu, 60.0);
  poster.join();
  EXPECT_TRUE(ptest::WaitHandleReadable());  // a's message is still there
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.wParam, 1u);
}

TEST(MessageQueue, QuitComesAfterPostedMessagesAndStopsGetMessage) {
  DrainQueue();
  RecordingWindow w;
  PostQuitMessage(7);
  PostMessageA(w.hwnd, WM_USER, 1, 0);
  MSG m;
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_USER);
  EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 7u);
}

TEST(MessageQueue, ApplicationProcessesThroughTheInstalledHook) {
  DrainQueue();
  RecordingWindow w;
  ASSERT_NE(TApplicationCore::ProcessMessageHook(), nullptr);
  PostMessageA(w.hwnd, WM_USER, 1, 0);
  PostMessageA(w.hwnd, WM_USER, 2, 0);
  PostQuitMessage(0);
  Application->SetTerminated(false);
  Application->ProcessMessages();
  EXPECT_EQ(w.got.size(), 2u);
  EXPECT_TRUE(Application->Terminated());
  Application->SetTerminated(false);
}

TEST(MessageQueue, SendMessageCallsTheProcedureAtOnceOnItsOwnThread) {
  RecordingWindow w;
  EXPECT_EQ(SendMessageA(w.hwnd, WM_USER, 9, 0), 0);
  ASSERT_EQ(w.got.size(), 1u);
  EXPECT_EQ(w.got[0].wParam, 9u);
}

DWORD g_sendThread = 0;
LRESULT AnsweringProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg != WM_USER) return DefWindowProcA(h, msg, w, l);
  g_sendThread = GetCurrentThreadId();
  return static_cast<LRESULT>(w) + 1;
}

// A send from another thread, its result once it returned. Should the send
// never return, the thread is left behind and the test ends anyway.
struct SendFromAnotherThread {
  struct State {
    std::atomic<bool> returned{false};
    LRESULT result = -1;
  };
  std::shared_ptr<State> state = std::make_shared<State>();
  std::thread thread;
  SendFromAnotherThread(HWND hwnd, WPARAM w) {
    thread = std::thread([hwnd, w, state = state] {
      state->result = SendMessageA(hwnd, WM_USER, w, 0);
      state->returned = true;
    });
  }
  bool Returned() const { return state->returned; }
  ~SendFromAnotherThread() {
    if (state->returned)
      thread.join();
    else
      thread.detach();
  }
};

TEST(MessageQueue, SendFromAnotherThreadRunsInTheWindowsThreadWhenItLooks) {
  DrainQueue();
  WNDCLASSA wc = ClassNamed("AnsweringClass");
  wc.lpfnWndProc = &AnsweringProc;
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND w = CreateWindowExA(0, "AnsweringClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr);
  ASSERT_NE(w, nullptr);
  g_sendThread = 0;
  {
    SendFromAnotherThread send(w, 41);
    EXPECT_TRUE(WaitForQueue(5000));  // the send wakes the window's thread
    EXPECT_FALSE(send.Returned());    // ... and waits until it looks
    ASSERT_TRUE(ptest::PumpUntil([&] { return send.Returned(); }, 5000));
    EXPECT_EQ(send.state->result, 42);
    EXPECT_EQ(g_sendThread, GetCurrentThreadId());
  }
  // A window whose thread has ended: the sender is not left waiting.
  HWND orphan = nullptr;
  std::thread([&] {
    orphan = CreateWindowExA(0, "AnsweringClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                             nullptr);
  }).join();
  ASSERT_NE(orphan, nullptr);
  {
    SendFromAnotherThread send(orphan, 1);
    const int64_t deadline = ptest::NowMs() + 5000;
    while (!send.Returned() && ptest::NowMs() < deadline) Sleep(1);
    ASSERT_TRUE(send.Returned());
    EXPECT_EQ(send.state->result, 0);
  }
  DestroyWindow(w);
  UnregisterClassA("AnsweringClass", nullptr);
}

}  // namespace
