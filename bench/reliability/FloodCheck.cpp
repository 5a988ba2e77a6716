// Random datagrams of every size with valid messages among them, into the
// headless relay on a private JACK server: it must stay up, play every valid
// message once and in order, and keep its memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "bench/reliability/Checks.h"
#include "bench/reliability/RelaySetup.h"

namespace reliability {
namespace {

constexpr size_t kLargest = 65507;  // the largest IPv4 datagram's payload

// Random bytes, drawn once: each datagram is a random stretch of them, so the
// sender spends its time sending rather than drawing numbers.
class TJunk {
 public:
  explicit TJunk(uint32_t Seed) : FRandom(Seed), FPool((1u << 22) + kLargest) {
    for (size_t k = 0; k < FPool.size(); ++k) FPool[k] = static_cast<uint8_t>(FRandom() >> 13);
  }
  // A datagram of random length (0 to the largest); one of three bytes starts
  // with 0xFE, which the relay must ignore. Slot is storage for such a one.
  iovec Next(uint8_t* Slot) {
    const size_t size = FRandom() % (kLargest + 1);
    const size_t at = FRandom() % (FPool.size() - kLargest);
    if (size != 3) return iovec{&FPool[at], size};
    Slot[0] = 0xFE;
    Slot[1] = FPool[at];
    Slot[2] = FPool[at + 1];
    return iovec{Slot, 3};
  }

 private:
  std::mt19937 FRandom;
  std::vector<uint8_t> FPool;
};

}  // namespace

bool Flood(long Count, long Rate, const std::string& Binary) {
  TSetup s;
  if (!s.Start(Binary)) return false;
  TSender send(s.Relay.Port);
  TJunk junk(12345);
  uint8_t slots[kBatch][3];
  const long rss0 = RssKb(s.Relay.Pid);
  long rssMax = rss0, rssWarm = 0;
  uint32_t valid = 0, arrived = 0;
  long bad = 0, throttled = 0, bytes = 0;
  bool alive = true;
  long nextReport = 100000;
  auto collect = [&](int WaitMs, size_t Count) {
    for (const auto& e : s.Synth.Wait(Count, WaitMs)) bad += SeqOf(e) != (arrived++ & 0x3FFFF);
  };
  const auto start = std::chrono::steady_clock::now();
  auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const long refused = SendPaced(
      send, Count, Rate,
      [&](long i) {
        uint8_t* slot = slots[i % kBatch];
        iovec v;
        if (i % 10 == 9) {
          SeqMessage(valid++ & 0x3FFFF, slot);
          v = iovec{slot, 3};
        } else {
          v = junk.Next(slot);
        }
        bytes += static_cast<long>(v.iov_len);
        return v;
      },
      [&](long Sent) {
        // Never more than the relay's buffer holds: the kernel would drop the
        // excess before the relay sees it.
        while (Waiting(s.Relay.Port) > (2 << 20) && alive) {
          ++throttled;
          SleepMs(1);
          alive = s.Relay.Alive();
        }
        collect(0, SIZE_MAX);
        if (Sent >= nextReport || Sent == Count) {
          nextReport += 100000;
          const long rss = RssKb(s.Relay.Pid);
          if (Sent >= 100000 && rssWarm == 0) rssWarm = rss;
          rssMax = std::max(rssMax, rss);
          alive = alive && s.Relay.Alive();
          std::printf("  %ld sent in %.1f s, %u of %u valid arrived, RSS %ld kB\n", Sent, seconds(),
                      arrived, valid, rss);
          std::fflush(stdout);
        }
      });
  const double took = seconds();
  collect(10000, valid - arrived);
  long drops = 0;
  Waiting(s.Relay.Port, &drops);
  const long rss1 = RssKb(s.Relay.Pid);
  alive = alive && s.Relay.Alive();
  std::printf(
      "flood: %ld datagrams (%u valid, %.1f GB) in %.1f s = %.0f/s (asked %ld/s; %ld waits for "
      "the relay, %ld refused, %ld dropped by the kernel); %u arrived, %ld out of order; relay "
      "%s; RSS %ld -> %ld after 100,000 -> max %ld -> %ld kB at the end\n",
      Count, valid, static_cast<double>(bytes) / 1e9, took, static_cast<double>(Count) / took, Rate,
      throttled, refused, drops, arrived, bad, alive ? "alive" : "GONE", rss0, rssWarm, rssMax,
      rss1);
  const int status = s.Relay.Terminate();
  std::printf("  SIGTERM: exit status %d\n", status);
  return alive && arrived == valid && bad == 0 && rss1 - (rssWarm ? rssWarm : rss0) < 4096 &&
         status == 0;
}

}  // namespace reliability
