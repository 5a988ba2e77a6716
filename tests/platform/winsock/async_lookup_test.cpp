// Asynchronous host look-ups: completions in Winsock's layout, errors, small
// buffers, and cancelling (the buffer may be freed right after a cancel).
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "WinsockTestUtil.h"

namespace {

using namespace winsock;
using ptest::RecordingWindow;

constexpr win32::UINT kDone = win32::WM_USER + 2;

class AsyncLookup : public ptest::WinsockTest {};

bool Inside(const char* p, const char* buf, size_t size) { return p >= buf && p < buf + size; }

TEST_F(AsyncLookup, LocalhostFillsTheBufferInWinsockLayout) {
  RecordingWindow w;
  alignas(hostent) char buf[MAXGETHOSTSTRUCT];
  HANDLE h = WSAAsyncGetHostByName(w.hwnd, kDone, "localhost", buf, sizeof buf);
  ASSERT_NE(h, 0);
  win32::MSG m;
  ASSERT_TRUE(ptest::NextMessage(w.hwnd, kDone, &m));
  EXPECT_EQ(m.wParam, static_cast<win32::WPARAM>(h));
  EXPECT_EQ(WSAGETASYNCERROR(m.lParam), 0u);
  EXPECT_GT(WSAGETASYNCBUFLEN(m.lParam), sizeof(hostent));
  EXPECT_LE(WSAGETASYNCBUFLEN(m.lParam), sizeof buf);

  hostent he;
  std::memcpy(&he, buf, sizeof he);
  EXPECT_EQ(he.h_addrtype, AF_INET);
  EXPECT_EQ(he.h_length, 4);
  ASSERT_TRUE(Inside(he.h_name, buf, sizeof buf));
  ASSERT_TRUE(Inside(reinterpret_cast<char*>(he.h_addr_list), buf, sizeof buf));
  ASSERT_TRUE(Inside(reinterpret_cast<char*>(he.h_aliases), buf, sizeof buf));
  EXPECT_EQ(he.h_aliases[0], nullptr);
  ASSERT_TRUE(Inside(he.h_addr_list[0], buf, sizeof buf));
  winsock::u_long first;
  std::memcpy(&first, he.h_addr_list[0], 4);
  EXPECT_EQ(first, htonl(INADDR_LOOPBACK));

  // The reverse look-up of 127.0.0.1 comes from the hosts file.
  winsock::u_long loopback = htonl(INADDR_LOOPBACK);
  HANDLE r = WSAAsyncGetHostByAddr(w.hwnd, kDone, reinterpret_cast<const char*>(&loopback), 4,
                                   PF_INET, buf, sizeof buf);
  ASSERT_NE(r, 0);
  EXPECT_NE(r, h);
  ASSERT_TRUE(ptest::NextMessage(w.hwnd, kDone, &m));
  EXPECT_EQ(m.wParam, static_cast<win32::WPARAM>(r));
  ASSERT_EQ(WSAGETASYNCERROR(m.lParam), 0u);
  std::memcpy(&he, buf, sizeof he);
  EXPECT_STRNE(he.h_name, "");
}

// Requests Winsock refuses at once, and cancels of requests that are gone.
TEST_F(AsyncLookup, BadRequestsAndStaleCancelsAreRefused) {
  if (ptest::UnderWine())
    GTEST_SKIP() << "Wine takes these requests, and its WSACancelAsyncRequest answers 0 to any";
  RecordingWindow w;
  alignas(hostent) char buf[MAXGETHOSTSTRUCT];
  winsock::u_long loopback = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(WSAAsyncGetHostByAddr(w.hwnd, kDone, reinterpret_cast<const char*>(&loopback), 16,
                                  PF_INET, buf, sizeof buf),
            0);
  EXPECT_EQ(WSAAsyncGetHostByName(nullptr, kDone, "localhost", buf, sizeof buf), 0);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  win32::MSG m;
  HANDLE h = WSAAsyncGetHostByName(w.hwnd, kDone, "localhost", buf, sizeof buf);
  ASSERT_TRUE(ptest::NextMessage(w.hwnd, kDone, &m));
  EXPECT_EQ(WSACancelAsyncRequest(h), SOCKET_ERROR);  // its completion was taken
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(WSACancelAsyncRequest(987654321), SOCKET_ERROR);
}

TEST_F(AsyncLookup, FailuresComeAsCompletions) {
  RecordingWindow w;
  alignas(hostent) char buf[MAXGETHOSTSTRUCT];
  std::memset(buf, 0x5A, sizeof buf);
  HANDLE h = WSAAsyncGetHostByName(w.hwnd, kDone, "bad..host", buf, sizeof buf);
  ASSERT_NE(h, 0);
  win32::MSG m;
  ASSERT_TRUE(ptest::NextMessage(w.hwnd, kDone, &m));
  EXPECT_EQ(m.wParam, static_cast<win32::WPARAM>(h));
  EXPECT_EQ(WSAGETASYNCERROR(m.lParam), static_cast<unsigned>(WSAHOST_NOT_FOUND));
  EXPECT_EQ(buf[0], 0x5A);  // untouched

  // Too small a buffer: WSAENOBUFS with the size that would have been needed.
  char small[16];
  h = WSAAsyncGetHostByName(w.hwnd, kDone, "localhost", small, sizeof small);
  ASSERT_TRUE(ptest::NextMessage(w.hwnd, kDone, &m));
  EXPECT_EQ(WSAGETASYNCERROR(m.lParam), static_cast<unsigned>(WSAENOBUFS));
  EXPECT_GT(WSAGETASYNCBUFLEN(m.lParam), sizeof small);

}

// A cancelled look-up never writes and never reports, whether it was still
// running or had finished with its completion still queued. Freeing the
// buffer right away lets the sanitizer build catch any late write.
TEST_F(AsyncLookup, CancelledLookupsStaySilent) {
  if (ptest::UnderWine())
    GTEST_SKIP() << "Wine's WSACancelAsyncRequest is a stub: the lookup still completes and "
                    "writes its buffer";
  RecordingWindow w;
  for (int i = 0; i < 20; ++i) {
    auto buf = std::make_unique<char[]>(MAXGETHOSTSTRUCT);
    HANDLE h = WSAAsyncGetHostByName(w.hwnd, kDone, "localhost", buf.get(), MAXGETHOSTSTRUCT);
    ASSERT_NE(h, 0);
    if (i % 2) win32::Sleep(5);  // sometimes it has finished by now
    EXPECT_EQ(WSACancelAsyncRequest(h), 0);
    buf.reset();
    EXPECT_EQ(WSACancelAsyncRequest(h), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  }
  win32::MSG m;
  EXPECT_FALSE(ptest::NextMessage(w.hwnd, kDone, &m, 200));
}

}  // namespace
