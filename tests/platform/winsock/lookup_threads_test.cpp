// The stand-in's lookup workers: many lookups share a few threads, and
// cancels hold among them.
#include <dirent.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "WinsockTestUtil.h"

namespace {

using namespace winsock;
using ptest::RecordingWindow;

constexpr win32::UINT kDone = win32::WM_USER + 2;

class LookupWorkers : public ptest::WinsockTest {};

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
TEST_F(LookupWorkers, ManyLookupsShareAFewThreadsAndCancelsHold) {
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
