// WSAAsyncSelect on loopback sockets: which notifications come, when they come
// again, and that a pending one never keeps the wait handle readable.
#include <string>

#include "WinsockTestUtil.h"

namespace {

using namespace winsock;
using ptest::ErrorOf;
using ptest::EventOf;
using ptest::NextMessage;
using ptest::RecordingWindow;

constexpr win32::UINT kNotify = win32::WM_USER + 1;

class AsyncSelect : public ptest::WinsockTest {
 protected:
  // Takes the next notification for window w; fails the test when none comes.
  win32::MSG Next(const RecordingWindow& w, int timeoutMs = 3000) {
    win32::MSG m{};
    EXPECT_TRUE(NextMessage(w.hwnd, kNotify, &m, timeoutMs)) << "no notification";
    return m;
  }
  // Nothing more for w within ms milliseconds.
  bool Quiet(const RecordingWindow& w, int ms = 60) {
    win32::MSG m;
    return !NextMessage(w.hwnd, kNotify, &m, ms);
  }
  std::string Receive(SOCKET s, int size = 64) { return ptest::ReceiveText(s, size); }
};

TEST_F(AsyncSelect, ReadIsNotRepeatedBeforeAReceiveAndTheHandleStaysQuiet) {
  RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  ptest::SendTo(peer, ptest::PortOf(s), "one");
  ptest::SendTo(peer, ptest::PortOf(s), "two");

  win32::MSG m = Next(w);
  EXPECT_EQ(m.wParam, s);
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_READ));
  EXPECT_EQ(ErrorOf(m), 0u);
  // Data waits, but with the notification taken and no receive yet, nothing
  // can be dispatched: the wait handle must not wake anyone (idle CPU zero).
  EXPECT_FALSE(ptest::WaitHandleReadable(50));
  const double cpu = ptest::ThreadCpuMs();
  EXPECT_FALSE(win32::WaitForQueue(100));
  EXPECT_LT(ptest::ThreadCpuMs() - cpu, 50.0);
  EXPECT_TRUE(Quiet(w));

  // A receive re-enables: data is left, so FD_READ comes again.
  EXPECT_EQ(Receive(s), "one");
  EXPECT_TRUE(ptest::WaitHandleReadable(1000));
  m = Next(w);
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_READ));
  EXPECT_EQ(Receive(s), "two");
  // Nothing left: no further notification.
  EXPECT_TRUE(Quiet(w));
  EXPECT_FALSE(ptest::WaitHandleReadable());
}

// A handler that takes one datagram and then waits on the handle by other
// means (a modal loop of a window toolkit) must be woken for the next one.
TEST_F(AsyncSelect, HandlerWaitingOnTheHandleIsWokenForDataLeft) {
  RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  bool wokenInside = false;
  w.onMessage = [&](const win32::MSG&) {
    if (w.got.size() > 1) return;
    EXPECT_EQ(Receive(s), "first");
    wokenInside = ptest::WaitHandleReadable(2000);
  };
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  ptest::SendTo(peer, ptest::PortOf(s), "first");
  ptest::SendTo(peer, ptest::PortOf(s), "second");
  ASSERT_TRUE(ptest::PumpUntil([&] { return w.got.size() == 2; }));
  EXPECT_TRUE(wokenInside);
  EXPECT_EQ(Receive(s), "second");
}

// Queued messages are taken before the kernel is asked for readiness; a
// handler that keeps posting must still let a socket's notification through.
TEST_F(AsyncSelect, PostingHandlerDoesNotStarveTheSockets) {
  RecordingWindow poster;
  RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  poster.onMessage = [&](const win32::MSG&) {
    if (poster.got.size() < 10000) win32::PostMessageA(poster.hwnd, win32::WM_USER, 0, 0);
  };
  size_t postedBefore = 0;
  w.onMessage = [&](const win32::MSG&) { postedBefore = poster.got.size(); };
  ptest::SendTo(peer, ptest::PortOf(s), "x");
  ASSERT_TRUE(ptest::WaitHandleReadable(1000));
  win32::PostMessageA(poster.hwnd, win32::WM_USER, 0, 0);
  ASSERT_TRUE(ptest::PumpUntil([&] { return !w.got.empty() && poster.got.size() >= 10000; }));
  EXPECT_LT(postedBefore, 100u);
}

TEST_F(AsyncSelect, DatagramSizeAndTruncation) {
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  ptest::SendTo(peer, ptest::PortOf(s), "0123456789");
  ptest::SendTo(peer, ptest::PortOf(s), "ab");
  winsock::u_long pending = 0;
  for (int i = 0; i < 100 && pending == 0; ++i) {
    ASSERT_EQ(ioctlsocket(s, FIONREAD, &pending), 0);
    if (pending == 0) win32::Sleep(5);
  }
  EXPECT_EQ(pending, 10u);  // the first datagram only: what one receive takes
  char buf[4];
  winsock::sockaddr_in from{};
  int fromLen = sizeof from;
  EXPECT_EQ(recvfrom(s, buf, sizeof buf, 0, reinterpret_cast<winsock::sockaddr*>(&from), &fromLen),
            SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(std::string(buf, 4), "0123");  // filled, the rest is gone
  EXPECT_EQ(fromLen, 16);
  EXPECT_EQ(ntohs(from.sin_port), ptest::PortOf(peer));
  EXPECT_EQ(Receive(s), "ab");
  EXPECT_EQ(Receive(s), "error " + std::to_string(WSAEWOULDBLOCK));
}

// FIONREAD remembers the first datagram's size between receives; every kind of
// receive that takes a datagram must make it ask again.
TEST_F(AsyncSelect, DatagramSizeFollowsEveryReceive) {
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  for (const char* text : {"0123456789", "ab", "xyz", "", "last!"})
    ptest::SendTo(peer, ptest::PortOf(s), text);
  auto pending = [](SOCKET socket) {
    winsock::u_long n = 12345;
    EXPECT_EQ(ioctlsocket(socket, FIONREAD, &n), 0);
    return n;
  };
  for (int i = 0; i < 100 && pending(s) == 0; ++i) win32::Sleep(5);
  EXPECT_EQ(pending(s), 10u);
  EXPECT_EQ(pending(s), 10u);
  char buf[4];
  EXPECT_EQ(recv(s, buf, sizeof buf, MSG_PEEK), SOCKET_ERROR);  // cut, but left in place
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(pending(s), 10u);
  EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);  // cut and taken
  EXPECT_EQ(pending(s), 2u);
  EXPECT_EQ(recv(s, buf, 0, 0), SOCKET_ERROR);  // a receive of nothing takes a datagram too
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(pending(s), 3u);
  EXPECT_EQ(Receive(s), "xyz");
  EXPECT_EQ(pending(s), 0u);  // the empty datagram
  EXPECT_EQ(Receive(s), "");
  EXPECT_EQ(pending(s), 5u);
  // A new socket that gets the closed one's number starts with nothing known.
  EXPECT_EQ(closesocket(s), 0);
  SOCKET again = ptest::BoundSocket(SOCK_DGRAM);
  EXPECT_EQ(pending(again), 0u);
}

TEST_F(AsyncSelect, WriteOnceThenOnlyAfterABlockedSend) {
  RecordingWindow w;
  SOCKET u = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_EQ(WSAAsyncSelect(u, w.hwnd, kNotify, FD_READ | FD_WRITE), 0);
  win32::MSG m = Next(w);
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_WRITE));
  EXPECT_TRUE(Quiet(w));
  closesocket(u);

  // A stream: fill it until Winsock says WSAEWOULDBLOCK; draining the peer
  // brings FD_WRITE back.
  ptest::StreamPair p;
  ASSERT_TRUE(p.Open());
  int small = 4096;
  setsockopt(p.client, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&small), sizeof small);
  setsockopt(p.server, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&small), sizeof small);
  ASSERT_EQ(WSAAsyncSelect(p.client, w.hwnd, kNotify, FD_WRITE | FD_CONNECT), 0);
  bool writable = false;
  for (int i = 0; i < 4 && !writable; ++i)
    writable = EventOf(Next(w)) == static_cast<unsigned>(FD_WRITE);
  ASSERT_TRUE(writable);
  EXPECT_TRUE(Quiet(w));

  std::string chunk(16384, 'x');
  int sent = 0;
  for (int i = 0; i < 20000; ++i) {
    int n = send(p.client, chunk.data(), static_cast<int>(chunk.size()), 0);
    if (n == SOCKET_ERROR) {
      ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
      break;
    }
    sent += n;
  }
  EXPECT_FALSE(ptest::WaitHandleReadable(50));
  int drained = 0;
  bool again = false;
  for (int i = 0; i < 20000 && !again; ++i) {
    char buf[65536];
    int n = recv(p.server, buf, sizeof buf, 0);
    if (n > 0) drained += n;
    win32::MSG note;
    again = NextMessage(w.hwnd, kNotify, &note, n > 0 ? 0 : 20) &&
            EventOf(note) == static_cast<unsigned>(FD_WRITE);
  }
  EXPECT_TRUE(again);
  EXPECT_GT(drained, 0);
  EXPECT_TRUE(Quiet(w));
}

TEST_F(AsyncSelect, ConnectSucceedsOrIsRefused) {
  RecordingWindow w;
  SOCKET listener = ptest::BoundSocket(SOCK_STREAM);
  ASSERT_EQ(listen(listener, 5), 0);
  SOCKET c = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(WSAAsyncSelect(c, w.hwnd, kNotify, FD_CONNECT | FD_WRITE | FD_READ | FD_CLOSE), 0);
  EXPECT_TRUE(Quiet(w));  // not connected yet: nothing to say
  winsock::sockaddr_in to = ptest::Loopback(ptest::PortOf(listener));
  int r = connect(c, ptest::AsAddr(to), sizeof to);
  if (r != 0) {
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  }
  win32::MSG m = Next(w);
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_CONNECT));
  EXPECT_EQ(ErrorOf(m), 0u);
  EXPECT_EQ(EventOf(Next(w)), static_cast<unsigned>(FD_WRITE));
  EXPECT_TRUE(Quiet(w));

  // A bound port nobody listens on refuses; the error comes with FD_CONNECT,
  // and no FD_CLOSE follows.
  SOCKET closed = ptest::BoundSocket(SOCK_STREAM);
  SOCKET d = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(WSAAsyncSelect(d, w.hwnd, kNotify, FD_CONNECT | FD_WRITE | FD_READ | FD_CLOSE), 0);
  to = ptest::Loopback(ptest::PortOf(closed));
  r = connect(d, ptest::AsAddr(to), sizeof to);
  if (r != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);  // refused on the spot is fine too
    return;
  }
  m = Next(w);
  EXPECT_EQ(m.wParam, d);
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_CONNECT));
  EXPECT_EQ(ErrorOf(m), static_cast<unsigned>(WSAECONNREFUSED));
  EXPECT_TRUE(Quiet(w, 100));
  EXPECT_FALSE(ptest::WaitHandleReadable());
}

TEST_F(AsyncSelect, AcceptIsRepeatedOnlyAfterAccept) {
  RecordingWindow w;
  SOCKET listener = ptest::BoundSocket(SOCK_STREAM);
  ASSERT_EQ(listen(listener, 5), 0);
  ASSERT_EQ(WSAAsyncSelect(listener, w.hwnd, kNotify, FD_ACCEPT), 0);
  winsock::sockaddr_in to = ptest::Loopback(ptest::PortOf(listener));
  SOCKET c1 = socket(AF_INET, SOCK_STREAM, 0);
  SOCKET c2 = socket(AF_INET, SOCK_STREAM, 0);
  connect(c1, ptest::AsAddr(to), sizeof to);
  connect(c2, ptest::AsAddr(to), sizeof to);
  win32::MSG m = Next(w);
  EXPECT_EQ(m.wParam, listener);
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_ACCEPT));
  EXPECT_TRUE(Quiet(w));  // two waiting, one notification

  winsock::sockaddr_in from{};
  int fromLen = sizeof from;
  SOCKET a1 = accept(listener, reinterpret_cast<winsock::sockaddr*>(&from), &fromLen);
  ASSERT_NE(a1, INVALID_SOCKET);
  EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(EventOf(Next(w)), static_cast<unsigned>(FD_ACCEPT));  // the second one
  ASSERT_NE(accept(listener, nullptr, nullptr), INVALID_SOCKET);
  EXPECT_TRUE(Quiet(w));
  EXPECT_EQ(accept(listener, nullptr, nullptr), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

// The peer's close after its data: FD_READ, then FD_CLOSE without an error
// (Winsock posts it once the data is read), then the end of the stream.
TEST_F(AsyncSelect, CloseFollowsTheDataWhenThePeerCloses) {
  RecordingWindow w;
  ptest::StreamPair p;
  ASSERT_TRUE(p.Open());
  ASSERT_EQ(WSAAsyncSelect(p.server, w.hwnd, kNotify, FD_READ | FD_CLOSE), 0);
  ASSERT_EQ(send(p.client, "bye", 3, 0), 3);
  ASSERT_EQ(closesocket(p.client), 0);
  win32::MSG m = Next(w);
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_READ));
  EXPECT_EQ(Receive(p.server), "bye");
  m = Next(w);
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_CLOSE));
  EXPECT_EQ(ErrorOf(m), 0u);
  EXPECT_EQ(Receive(p.server), "");
  EXPECT_TRUE(Quiet(w));
  EXPECT_FALSE(ptest::WaitHandleReadable());
}

TEST_F(AsyncSelect, CloseReportsAReset) {
  if (ptest::UnderWine()) GTEST_SKIP() << "Wine reports a reset peer's FD_CLOSE without WSAECONNRESET";
  RecordingWindow w;
  ptest::StreamPair p;
  ASSERT_TRUE(p.Open());
  ASSERT_EQ(WSAAsyncSelect(p.server, w.hwnd, kNotify, FD_READ | FD_CLOSE), 0);
  winsock::linger hard{1, 0};
  ASSERT_EQ(
      setsockopt(p.client, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&hard), sizeof hard), 0);
  ASSERT_EQ(closesocket(p.client), 0);
  win32::MSG m = Next(w);
  EXPECT_EQ(EventOf(m), static_cast<unsigned>(FD_CLOSE));
  EXPECT_EQ(ErrorOf(m), static_cast<unsigned>(WSAECONNRESET));
  EXPECT_TRUE(Quiet(w));
}

}  // namespace
