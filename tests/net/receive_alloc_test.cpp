// The receive path allocates nothing per datagram beyond the text ReceiveText
// returns (none for a short one): every allocation of this program is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/Loopback.h"
#include "NetTestUtil.h"
#include "net/WSocket.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(ReceiveAllocations, NonePerShortDatagramInBurstsOrOnePerWakeUp) {
  TWSocket s(nullptr);
  long got = 0;
  s.OnDataAvailable = [&](TObject*, uint16_t) {
    if (s.ReceiveText().size() == 3) ++got;
  };
  nettest::ListenUdp(s);
  const uint16_t port = nettest::BoundPort(s);
  auto burst = [&](int n) {
    const long target = got + n;
    for (int i = 0; i < n; ++i) loopback::SendUdp(port, "\x90\x40\x7f");
    const long before = g_allocations.load();
    const bool all = nettest::PumpUntil([&] { return got >= target; });
    const long allocated = g_allocations.load() - before;
    EXPECT_TRUE(all);
    return allocated;
  };
  // The first bursts make the socket's buffers and the queue's lists, which
  // are kept.
  burst(50);
  burst(50);
  EXPECT_EQ(burst(100), 0) << "allocations while draining a burst";
  long perWakeUp = 0;
  for (int i = 0; i < 20; ++i) perWakeUp += burst(1);
  EXPECT_EQ(perWakeUp, 0) << "allocations for one datagram per wake-up";
}

}  // namespace
