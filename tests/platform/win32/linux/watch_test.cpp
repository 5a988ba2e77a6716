// Descriptors watched by the thread's queue: each watch's callback runs in the
// look that finds it ready, and a removed watch is never called again; the
// queue's own descriptor.
#include <fcntl.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "tests/platform/PlatformTestUtil.h"

namespace {

struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0); }
  ~Pipe() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  void Write() { EXPECT_EQ(write(fds[1], "x", 1), 1); }
};

// Reads what is there and counts the calls.
struct Reader {
  int calls = 0;
  uint32_t events = 0;
  uint64_t other = 0;  // a watch this one removes when called
  static void Proc(int fd, uint32_t events, void* context) {
    auto* self = static_cast<Reader*>(context);
    ++self->calls;
    self->events = events;
    char buf[16];
    while (read(fd, buf, sizeof buf) > 0) {
    }
    if (self->other) win32::UnwatchDescriptor(self->other);
    self->other = 0;
  }
};

void Pump() {
  win32::MSG m;
  while (win32::PeekMessageA(&m, nullptr, 0, 0, win32::PM_REMOVE)) win32::DispatchMessageA(&m);
}

TEST(DescriptorWatch, CallbackRunsInTheWaitUntilRemoved) {
  Pipe p;
  Reader r;
  const uint64_t watch = win32::WatchDescriptor(p.fds[0], EPOLLIN, &Reader::Proc, &r);
  ASSERT_NE(watch, 0u);
  EXPECT_FALSE(win32::WaitForQueue(30));
  EXPECT_EQ(r.calls, 0);

  p.Write();
  EXPECT_TRUE(win32::WaitForQueue(2000));  // a callback ran: the caller pumps
  EXPECT_EQ(r.calls, 1);
  EXPECT_TRUE(r.events & EPOLLIN);
  // The callback consumed the readiness: the handle is quiet again.
  EXPECT_FALSE(ptest::WaitHandleReadable(0));
  Pump();

  // A look runs callbacks too, not only the wait.
  p.Write();
  ASSERT_TRUE(ptest::WaitHandleReadable(2000));
  Pump();
  EXPECT_EQ(r.calls, 2);

  // Paused, then removed: readiness no longer wakes anyone.
  EXPECT_TRUE(win32::ChangeDescriptorWatch(watch, 0));
  p.Write();
  EXPECT_FALSE(win32::WaitForQueue(30));
  EXPECT_TRUE(win32::ChangeDescriptorWatch(watch, EPOLLIN));
  EXPECT_TRUE(win32::WaitForQueue(2000));
  EXPECT_EQ(r.calls, 3);
  Pump();
  win32::UnwatchDescriptor(watch);
  p.Write();
  EXPECT_FALSE(win32::WaitForQueue(30));
  Pump();
  EXPECT_EQ(r.calls, 3);
  EXPECT_FALSE(win32::ChangeDescriptorWatch(watch, EPOLLIN));
}

// Two descriptors ready in the same collection, each callback removing the
// other's watch: whichever runs first, the other must not run.
TEST(DescriptorWatch, WatchRemovedByAnEarlierCallbackIsNotCalled) {
  Pipe a, b;
  Reader ra, rb;
  const uint64_t wa = win32::WatchDescriptor(a.fds[0], EPOLLIN, &Reader::Proc, &ra);
  const uint64_t wb = win32::WatchDescriptor(b.fds[0], EPOLLIN, &Reader::Proc, &rb);
  ASSERT_NE(wa, 0u);
  ASSERT_NE(wb, 0u);
  ra.other = wb;
  rb.other = wa;
  a.Write();
  b.Write();
  EXPECT_TRUE(win32::WaitForQueue(2000));
  EXPECT_EQ(ra.calls + rb.calls, 1);
  // The survivor's slot may be reused; the stale id must not reach the new watch.
  const uint64_t stale = ra.calls ? wb : wa;
  Pipe c;
  Reader rc;
  const uint64_t wc = win32::WatchDescriptor(c.fds[0], EPOLLIN, &Reader::Proc, &rc);
  ASSERT_NE(wc, 0u);
  EXPECT_NE(wc, stale);
  EXPECT_FALSE(win32::ChangeDescriptorWatch(stale, 0));
  win32::UnwatchDescriptor(stale);
  c.Write();
  EXPECT_TRUE(win32::WaitForQueue(2000));
  EXPECT_EQ(rc.calls, 1);
  win32::UnwatchDescriptor(wc);
  win32::UnwatchDescriptor(ra.calls ? wa : wb);
}

TEST(DescriptorWatch, DescriptorsEpollCannotWatchAreRefused) {
  Reader r;
  EXPECT_EQ(win32::WatchDescriptor(-1, EPOLLIN, &Reader::Proc, &r), 0u);
  char path[] = "/tmp/vorlanx-watch-XXXXXX";
  int file = mkstemp(path);
  ASSERT_GE(file, 0);
  unlink(path);
  EXPECT_EQ(win32::WatchDescriptor(file, EPOLLIN, &Reader::Proc, &r), 0u);
  close(file);
}

TEST(DescriptorWatch, TheQueuesOwnHandleIsALowDescriptor) {
  EXPECT_LT(win32::GetQueueWaitHandle(), 16);  // made before main(), low enough for select()
}

}  // namespace
