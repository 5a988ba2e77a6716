// The stand-in's promises beyond Winsock's, which asks callers to expect
// notifications with nothing to do: no stray FD_READ after a handler drained
// the socket; FD_CLOSE as soon as the peer closes, data still unread; the run
// loop's wait collects socket readiness as a message; and a close takes back
// notifications still queued (a new socket may get the same number at once).
#include "WinsockTestUtil.h"

namespace {

using namespace winsock;
using ptest::ErrorOf;
using ptest::EventOf;
using ptest::NextMessage;
using ptest::RecordingWindow;

constexpr win32::UINT kNotify = win32::WM_USER + 1;

class StandinSelect : public ptest::WinsockTest {
 protected:
  bool Quiet(const RecordingWindow& w, int ms = 60) {
    win32::MSG m;
    return !ptest::NextMessage(w.hwnd, kNotify, &m, ms);
  }
  std::string Receive(SOCKET s) { return ptest::ReceiveText(s); }
};

// The usual road: the handler drains everything inside its dispatch; no stray
// FD_READ follows for data it already took, and a new datagram is notified.
TEST_F(StandinSelect, ReceiveLoopInsideTheHandlerLeavesNoStrayNotification) {
  RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  std::vector<std::string> got;
  int notifications = 0;
  w.onMessage = [&](const win32::MSG&) {
    ++notifications;
    winsock::u_long pending = 0;
    do {
      got.push_back(Receive(s));
      ASSERT_EQ(ioctlsocket(s, FIONREAD, &pending), 0);
    } while (pending > 0);
  };
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  for (const char* d : {"a", "bb", "ccc"}) ptest::SendTo(peer, ptest::PortOf(s), d);
  ASSERT_TRUE(ptest::PumpUntil([&] { return got.size() >= 3; }))
      << got.size() << " received in " << notifications << " notifications";
  ptest::Settle();
  EXPECT_EQ(notifications, 1);
  EXPECT_EQ(got, (std::vector<std::string>{"a", "bb", "ccc"}));
  EXPECT_FALSE(ptest::WaitHandleReadable());

  ptest::SendTo(peer, ptest::PortOf(s), "dddd");
  ASSERT_TRUE(ptest::PumpUntil([&] { return got.size() == 4; }));
  EXPECT_EQ(notifications, 2);
}

TEST_F(StandinSelect, CloseAfterTheDataWhenThePeerCloses) {
  RecordingWindow w;
  ptest::StreamPair p;
  ASSERT_TRUE(p.Open());
  ASSERT_EQ(WSAAsyncSelect(p.server, w.hwnd, kNotify, FD_READ | FD_CLOSE), 0);
  ASSERT_EQ(send(p.client, "bye", 3, 0), 3);
  ASSERT_EQ(closesocket(p.client), 0);

  std::vector<unsigned> events;
  win32::MSG m;
  while (NextMessage(w.hwnd, kNotify, &m, events.empty() ? 3000 : 100)) {
    events.push_back(EventOf(m));
    if (EventOf(m) == static_cast<unsigned>(FD_CLOSE)) {
      EXPECT_EQ(ErrorOf(m), 0u);
    }
  }
  EXPECT_EQ(events, (std::vector<unsigned>{FD_READ, FD_CLOSE}));
  // The data is still there to read after FD_CLOSE, then the end.
  EXPECT_EQ(Receive(p.server), "bye");
  EXPECT_EQ(Receive(p.server), "");
  EXPECT_TRUE(Quiet(w));
  EXPECT_FALSE(ptest::WaitHandleReadable());
}

// The run loop's wait collects: socket readiness it finds is a message for
// the very next look, with no second question to the kernel.
TEST_F(StandinSelect, RunLoopWaitCollectsSocketReadiness) {
  RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  EXPECT_FALSE(win32::WaitForQueue(30));
  ptest::SendTo(peer, ptest::PortOf(s), "x");
  EXPECT_TRUE(win32::WaitForQueue(1000));
  EXPECT_FALSE(ptest::WaitHandleReadable(0));  // already a message, nothing left to collect
  win32::MSG m;
  ASSERT_TRUE(win32::PeekMessageA(&m, nullptr, 0, 0, win32::PM_REMOVE));
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_READ));
  EXPECT_EQ(Receive(s), "x");
}

// Switching notifications off, and closing a socket with a notification still
// queued: the number may come back at once for a new socket, which must not
// receive the old one's notification.
TEST_F(StandinSelect, NoEventsStopsAndCloseWithdrawsQueuedNotifications) {
  RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, 0, 0), 0);
  ptest::SendTo(peer, ptest::PortOf(s), "x");
  EXPECT_TRUE(Quiet(w));

  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);  // data already there
  win32::MSG m;
  bool queued = false;
  for (int i = 0; i < 100 && !queued; ++i) {
    queued = win32::PeekMessageA(&m, w.hwnd, kNotify, kNotify, win32::PM_NOREMOVE);
    if (!queued) win32::WaitForQueue(20);
  }
  ASSERT_TRUE(queued);
  const SOCKET old = s;
  ASSERT_EQ(closesocket(s), 0);
  SOCKET fresh = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_EQ(WSAAsyncSelect(fresh, w.hwnd, kNotify, FD_READ), 0);
  EXPECT_EQ(fresh, old);  // Linux hands out the lowest free number
  EXPECT_TRUE(Quiet(w));
  EXPECT_EQ(closesocket(old), 0);
  EXPECT_EQ(closesocket(old), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

}  // namespace
