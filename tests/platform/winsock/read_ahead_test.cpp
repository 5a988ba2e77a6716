// A socket under FD_READ reads the next datagram ahead of the caller: what
// callers see (sizes, senders, truncation, peeking, order) must not change.
#include <chrono>
#include <string>
#include <thread>

#include "WinsockTestUtil.h"

namespace {

using namespace winsock;

constexpr win32::UINT kNotify = win32::WM_USER + 7;

class ReadAhead : public ptest::WinsockTest {};

int ReceiveFrom(SOCKET s, char* buf, int len, int flags, uint16_t* port) {
  sockaddr_in from{};
  int fromlen = sizeof from;
  int n = recvfrom(s, buf, len, flags, reinterpret_cast<sockaddr*>(&from), &fromlen);
  if (n >= 0 || WSAGetLastError() == WSAEMSGSIZE) *port = ntohs(from.sin_port);
  return n;
}

TEST_F(ReadAhead, CallersSeeEachDatagramAsTheKernelWouldGiveIt) {
  ptest::RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET a = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET b = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  ptest::SendTo(a, ptest::PortOf(s), "first");
  ptest::SendTo(b, ptest::PortOf(s), "second!");
  ptest::SendTo(a, ptest::PortOf(s), "");
  ptest::SendTo(b, ptest::PortOf(s), "fourth");
  ptest::SendTo(a, ptest::PortOf(s), "last");
  win32::MSG m;
  ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));

  char buf[64];
  uint16_t port = 0;
  winsock::u_long pending = 0;
  ASSERT_EQ(ioctlsocket(s, FIONREAD, &pending), 0);
  EXPECT_EQ(pending, 5u);
  ASSERT_EQ(ReceiveFrom(s, buf, sizeof buf, 0, &port), 5);  // reads "second!" ahead
  EXPECT_EQ(std::string(buf, 5), "first");
  EXPECT_EQ(port, ptest::PortOf(a));
  ASSERT_EQ(ioctlsocket(s, FIONREAD, &pending), 0);
  EXPECT_EQ(pending, 7u);
  // Peeking leaves the datagram held; a short buffer takes its start and loses the rest.
  ASSERT_EQ(ReceiveFrom(s, buf, sizeof buf, MSG_PEEK, &port), 7);
  EXPECT_EQ(port, ptest::PortOf(b));
  EXPECT_EQ(ReceiveFrom(s, buf, 3, 0, &port), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(std::string(buf, 3), "sec");
  EXPECT_EQ(port, ptest::PortOf(b));
  // An empty datagram is a datagram.
  ASSERT_EQ(ioctlsocket(s, FIONREAD, &pending), 0);
  EXPECT_EQ(pending, 0u);
  EXPECT_EQ(ReceiveFrom(s, buf, sizeof buf, 0, &port), 0);
  EXPECT_EQ(port, ptest::PortOf(a));
  // A zero-byte receive takes a held datagram and says it was too long.
  EXPECT_EQ(recv(s, buf, 0, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);

  // Registration cancelled: what was read ahead still comes first.
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, 0, 0), 0);
  ASSERT_EQ(recv(s, buf, sizeof buf, 0), 4);
  EXPECT_EQ(std::string(buf, 4), "last");
  EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

// The size of a held datagram is answered without the table lock; it must end
// with its socket, also when the next socket gets the same number.
TEST_F(ReadAhead, HeldSizeEndsWithItsSocket) {
  ptest::RecordingWindow w;
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  for (bool cleanup : {false, true}) {
    SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
    ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
    ptest::SendTo(peer, ptest::PortOf(s), "one");
    ptest::SendTo(peer, ptest::PortOf(s), "second");
    win32::MSG m;
    ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
    char buf[16];
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), 3);
    winsock::u_long pending = 0;
    ASSERT_EQ(ioctlsocket(s, FIONREAD, &pending), 0);
    ASSERT_EQ(pending, 6u);
    if (cleanup) {
      ASSERT_EQ(WSACleanup(), 0);
      WSADATA data;
      ASSERT_EQ(WSAStartup(0x0101, &data), 0);
      peer = ptest::BoundSocket(SOCK_DGRAM);
    } else {
      ASSERT_EQ(closesocket(s), 0);
    }
    SOCKET t = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(t, INVALID_SOCKET);
    EXPECT_EQ(ioctlsocket(t, FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 0u) << (t == s ? "the number came back with the old size"
                                      : "a new socket with a size");
    closesocket(t);
  }
}

// Readiness takes the datagram waiting and finds the queue empty behind it;
// one that arrives while that FD_READ is still queued (its report dropped, as
// FD_READ is pending) must still be received and announced.
TEST_F(ReadAhead, ADatagramArrivingWhileFdReadIsQueuedIsNotLost) {
  ptest::RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  ptest::SendTo(peer, ptest::PortOf(s), "a");
  win32::MSG m;
  ASSERT_TRUE(ptest::PumpUntil(
      [&] { return win32::PeekMessageA(&m, w.hwnd, kNotify, kNotify, win32::PM_NOREMOVE) != 0; }));
  ptest::SendTo(peer, ptest::PortOf(s), "b");
  // Looks at the queue for another message: readiness is collected, the
  // report of "b" dropped, the FD_READ left queued.
  const win32::UINT other = kNotify + 1;
  for (int i = 0; i < 3; ++i) win32::PeekMessageA(&m, w.hwnd, other, other, win32::PM_NOREMOVE);
  std::string got;
  w.onMessage = [&](const win32::MSG&) {
    char c;
    if (recv(s, &c, 1, 0) == 1) got += c;
  };
  EXPECT_TRUE(ptest::PumpUntil([&] { return got.size() == 2; }));
  EXPECT_EQ(got, "ab");
}

// One FD_READ per datagram for a handler that takes one each time, and none
// left over once everything was taken.
TEST_F(ReadAhead, OneNotificationPerDatagramTakenOneAtATime) {
  ptest::RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  std::string got;
  w.onMessage = [&](const win32::MSG&) {
    char c;
    if (recv(s, &c, 1, 0) == 1) got += c;
  };
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  for (const char* d : {"a", "b", "c", "d"}) ptest::SendTo(peer, ptest::PortOf(s), d);
  ASSERT_TRUE(ptest::PumpUntil([&] { return got.size() == 4; }));
  ptest::Settle();
  EXPECT_EQ(got, "abcd");
  EXPECT_EQ(w.got.size(), 4u);
  EXPECT_FALSE(ptest::WaitHandleReadable(0));
  ptest::SendTo(peer, ptest::PortOf(s), "e");
  ASSERT_TRUE(ptest::PumpUntil([&] { return got.size() == 5; }));
}

// The receive that took the last datagram found the queue empty behind it:
// the next size query says so without asking the kernel, but only that one.
TEST_F(ReadAhead, AQueueFoundEmptyIsAnsweredOnceThenAskedAgain) {
  ptest::RecordingWindow w;
  SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
  SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
  for (int round = 0; round < 3; ++round) {
    ptest::SendTo(peer, ptest::PortOf(s), "one");
    char buf[16];
    ASSERT_TRUE(ptest::PumpUntil([&] { return recv(s, buf, sizeof buf, 0) == 3; }));
    winsock::u_long pending = 99;
    ASSERT_EQ(ioctlsocket(s, FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 0u);
    ptest::SendTo(peer, ptest::PortOf(s), "second");
    // Without pumping: nothing but the size query itself can learn of it.
    bool seen = false;
    for (int i = 0; i < 300 && !seen; ++i) {
      seen = ioctlsocket(s, FIONREAD, &pending) == 0 && pending == 6;
      if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(seen) << "round " << round;
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), 6);
  }
}

}  // namespace
