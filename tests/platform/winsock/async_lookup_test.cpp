// Asynchronous host look-ups: completions in Winsock's layout, errors, small
// buffers, and cancelling (the buffer may be freed right after a cancel).
#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
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
  EXPECT_EQ(WSAAsyncGetHostByAddr(w.hwnd, kDone, reinterpret_cast<const char*>(&loopback), 16,
                                  PF_INET, buf, sizeof buf),
            0);
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

  EXPECT_EQ(WSAAsyncGetHostByName(nullptr, kDone, "localhost", buf, sizeof buf), 0);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

// A cancelled look-up never writes and never reports, whether it was still
// running or had finished with its completion still queued. Freeing the
// buffer right away lets the sanitizer build catch any late write.
TEST_F(AsyncLookup, CancelledLookupsStaySilent) {
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

  // Once its completion has been taken, a request is gone.
  alignas(hostent) char buf[MAXGETHOSTSTRUCT];
  HANDLE h = WSAAsyncGetHostByName(w.hwnd, kDone, "localhost", buf, sizeof buf);
  ASSERT_TRUE(ptest::NextMessage(w.hwnd, kDone, &m));
  EXPECT_EQ(WSACancelAsyncRequest(h), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(WSACancelAsyncRequest(987654321), SOCKET_ERROR);
}

int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

// Many lookups at once wait for a few workers instead of each taking a thread,
// and every other one cancelled stays silent while the rest all answer once,
// each into its own buffer.
TEST_F(AsyncLookup, ManyLookupsShareAFewThreadsAndCancelsHold) {
  constexpr int kLookups = 400;
  RecordingWindow w;
  std::vector<std::unique_ptr<char[]>> bufs;
  std::vector<HANDLE> handles;
  const int before = ThreadCount();
  for (int i = 0; i < kLookups; ++i) {
    bufs.push_back(std::make_unique<char[]>(MAXGETHOSTSTRUCT));
    handles.push_back(WSAAsyncGetHostByName(w.hwnd, kDone, i % 3 ? "localhost" : "bad..host",
                                            bufs.back().get(), MAXGETHOSTSTRUCT));
    ASSERT_NE(handles.back(), 0);
  }
  EXPECT_LE(ThreadCount() - before, 4);
  EXPECT_EQ(std::set<HANDLE>(handles.begin(), handles.end()).size(), handles.size());

  std::set<win32::WPARAM> expected;
  for (int i = 0; i < kLookups; ++i) {
    if (i % 2) {
      EXPECT_EQ(WSACancelAsyncRequest(handles[i]), 0) << i;
      bufs[i].reset();  // a late write would be caught by the sanitizer build
    } else {
      expected.insert(static_cast<win32::WPARAM>(handles[i]));
    }
  }
  std::set<win32::WPARAM> answered;
  win32::MSG m;
  while (answered.size() < expected.size() && ptest::NextMessage(w.hwnd, kDone, &m, 20000)) {
    EXPECT_TRUE(answered.insert(m.wParam).second) << "answered twice: " << m.wParam;
    const size_t i =
        std::find(handles.begin(), handles.end(), static_cast<HANDLE>(m.wParam)) - handles.begin();
    ASSERT_LT(i, handles.size());
    EXPECT_EQ(WSAGETASYNCERROR(m.lParam), i % 3 ? 0u : static_cast<unsigned>(WSAHOST_NOT_FOUND));
  }
  EXPECT_EQ(answered, expected);
  EXPECT_FALSE(ptest::NextMessage(w.hwnd, kDone, &m, 200));
}

}  // namespace
