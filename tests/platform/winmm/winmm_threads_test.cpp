// winmm handles used from several threads at once: a handle closed on one
// thread while another sends on it gives the invalid-handle result, never a
// freed device; several threads may send on one handle.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "platform/winmm/linux/HandleTable.h"
#include "platform/winmm/linux/MpscRing.h"
#include "platform/winmm/winmm.h"
#include "tests/support/JackTest.h"

using namespace winmm;

namespace {

struct TItem {
  std::atomic<int> Alive{1};
};

// The table alone, at full speed: users never see an item that was removed,
// and a removal never returns while a user still holds the item.
TEST(HandleTable, RemovalWaitsForUsersAndStaleHandlesFail) {
  HandleTable<TItem> table;
  std::atomic<uintptr_t> current{0};
  std::atomic<bool> stop{false};
  std::atomic<long> used{0}, refused{0};
  auto user = [&] {
    while (!stop.load()) {
      uintptr_t h = current.load();
      TItem* item = table.Acquire(h);
      if (item == nullptr) {
        ++refused;
        continue;
      }
      if (item->Alive.load() != 1) ADD_FAILURE() << "a removed item was handed out";
      ++used;
      table.Release(h);
    }
  };
  std::thread a(user), b(user);
  std::set<uintptr_t> seen;
  uintptr_t stale = 0;
  for (int round = 0; round < 1000; ++round) {
    auto* item = new TItem;
    uintptr_t h = table.Insert(item);
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(seen.insert(h).second) << "a handle was given out twice";
    current.store(h);
    // Remove while the users are at it: once one has used this handle.
    const long before = used.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (used.load() == before && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    ASSERT_EQ(table.Remove(h), item);
    item->Alive.store(0);
    delete item;
    EXPECT_EQ(table.Remove(h), nullptr);
    if (stale != 0) {
      EXPECT_EQ(table.Acquire(stale), nullptr);
    }
    stale = h;
  }
  stop.store(true);
  a.join();
  b.join();
  EXPECT_GT(used.load(), 0);
  EXPECT_GT(refused.load(), 0);
  EXPECT_EQ(table.Acquire(0), nullptr);
}

// Several producers, one consumer: every value arrives once, each producer's
// in the order it pushed them.
TEST(MpscRing, ProducersOnSeveralThreads) {
  MpscRing<uint32_t> ring(256);
  constexpr uint32_t kPerProducer = 100000;
  auto producer = [&](uint32_t Id) {
    for (uint32_t i = 0; i < kPerProducer;)
      if (ring.Push(Id << 24 | i))
        ++i;
      else
        std::this_thread::yield();
  };
  std::thread p0(producer, 0), p1(producer, 1), p2(producer, 2);
  uint32_t next[3] = {0, 0, 0};
  for (uint32_t taken = 0; taken < 3 * kPerProducer;) {
    const uint32_t* v = ring.Front();
    if (v == nullptr) {
      std::this_thread::yield();
      continue;
    }
    uint32_t id = *v >> 24, seq = *v & 0xFFFFFF;
    ASSERT_LT(id, 3u);
    ASSERT_EQ(seq, next[id]) << "producer " << id;
    ++next[id];
    ring.Pop();
    ++taken;
  }
  p0.join();
  p1.join();
  p2.join();
  EXPECT_TRUE(ring.Empty());
}

class WinmmThreads : public testing::Test {
 protected:
  void SetUp() override {
    VORLANX_REQUIRE_PRIVATE_SHM();
    std::string error;
    ASSERT_TRUE(FServer.Start(256, 48000, &error)) << error;
    ASSERT_TRUE(FSynth.Open("synth", {"in"}, &error)) << error;
    ASSERT_EQ(midiOutGetNumDevs(), 1u);
  }
  testjack::TJackServer FServer;
  testjack::TMidiReceiver FSynth;
};

// Two threads send on the handle as fast as they can while the main thread
// closes it: each call either plays, says the port is busy (the queue is
// full), or finds the handle invalid; afterwards it stays invalid, also once
// a new handle takes the same slot.
TEST_F(WinmmThreads, CloseWhileOtherThreadsSend) {
  HMIDIOUT stale = nullptr;
  for (int round = 0; round < 4; ++round) {
    HMIDIOUT h = nullptr;
    ASSERT_EQ(midiOutOpen(&h, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    if (stale != nullptr) {
      EXPECT_EQ(midiOutShortMsg(stale, 0x90), MMSYSERR_INVALHANDLE);
    }
    std::atomic<int> played{0};
    auto sender = [&](uint8_t Note) {
      for (;;) {
        MMRESULT r = midiOutShortMsg(h, 0x00400090u | Note << 8);
        if (r == MMSYSERR_INVALHANDLE) return;
        if (r == MMSYSERR_NOERROR)
          ++played;
        else if (r != MIDIERR_NOTREADY)
          return ADD_FAILURE() << "result " << r;
      }
    };
    std::thread a(sender, 1), b(sender, 2);
    for (int i = 0; i < 2000 && played.load() < 100; ++i) usleep(1000);
    EXPECT_GE(played.load(), 100);
    EXPECT_EQ(midiOutClose(h), MMSYSERR_NOERROR);
    a.join();
    b.join();
    EXPECT_EQ(midiOutShortMsg(h, 0x90), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiOutClose(h), MMSYSERR_INVALHANDLE);
    stale = h;
  }
  // Whatever arrived is whole: nothing was played from a device being freed.
  for (const testjack::TMidiEvent& e : FSynth.Settle()) {
    ASSERT_EQ(e.Size, 3u);
    ASSERT_EQ(e.Bytes[0], 0x90);
    ASSERT_TRUE(e.Bytes[1] == 1 || e.Bytes[1] == 2);
  }
}

}  // namespace
