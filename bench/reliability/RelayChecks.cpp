// The headless relay on a private JACK server under faults and steady traffic.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <thread>

#include "bench/reliability/Checks.h"
#include "bench/reliability/RelaySetup.h"

namespace reliability {
namespace {

// Sends Count messages at Rate, checks each arrives once, in order; gives the
// relay's resident memory every Every messages to Sample.
template <class F>
bool Stream(TSetup& S, long Count, long Rate, long Every, F Sample) {
  TSender send(S.Relay.Port);
  uint8_t slots[kBatch][3];
  uint32_t expected = 0;
  long bad = 0, nextSample = Every;
  auto collect = [&](size_t Count, int WaitMs) {
    for (const auto& e : S.Synth.Wait(Count, WaitMs)) bad += SeqOf(e) != (expected++ & 0x3FFFF);
  };
  const long refused = SendPaced(
      send, Count, Rate,
      [&](long i) {
        SeqMessage(static_cast<uint32_t>(i) & 0x3FFFF, slots[i % kBatch]);
        return iovec{slots[i % kBatch], 3};
      },
      [&](long Sent) {
        collect(SIZE_MAX, 0);
        if (Sent >= nextSample) {
          nextSample += Every;
          Sample(Sent);
        }
      });
  collect(static_cast<size_t>(Count) - expected, 10000);
  std::printf("  %ld sent (%ld refused), %u arrived, %ld out of order\n", Count, refused, expected,
              bad);
  return expected == static_cast<uint32_t>(Count) && bad == 0;
}

// Runs Fault 100 ms into 20,000 datagrams sent to Port, and waits for the rest.
template <typename F>
void UnderTraffic(uint16_t Port, F Fault) {
  TSender send(Port);
  std::thread traffic([&] {
    for (int i = 0; i < 20000; ++i) {
      send.SendSeq(i & 0x3FFFF);
      if (i % 100 == 0) SleepMs(1);
    }
  });
  SleepMs(100);
  Fault();
  traffic.join();
}

// After a fault: the relay still runs, idles without CPU, and ends cleanly on SIGTERM.
bool Survived(TSetup& S, const char* What) {
  SleepMs(500);
  const bool alive = S.Relay.Alive();
  const long cpu0 = CpuTicks(S.Relay.Pid);
  SleepMs(2000);
  const long idle = CpuTicks(S.Relay.Pid) - cpu0;
  std::printf("%s: relay %s; %ld ticks in 2 s idle\n", What, alive ? "alive" : "GONE", idle);
  const int status = S.Relay.Terminate();
  std::printf("  SIGTERM: exit status %d\n", status);
  return alive && idle <= 2 && status == 0;
}

}  // namespace

bool Faults(const std::string& Binary) {
  bool ok = true;
  TSetup s;
  if (!s.Start(Binary)) return false;
  // The server killed while datagrams arrive.
  UnderTraffic(s.Relay.Port, [&] {
    s.Synth.Close();
    s.Server.Kill();
  });
  ok = Survived(s, "server killed under traffic") && ok;

  // The receiving client killed (a process of its own) while datagrams arrive.
  TSetup t;
  t.Synth.Close();
  std::string error;
  if (!t.Server.Start(256, 48000, &error)) return false;
  pid_t client = fork();
  if (client == 0) {
    testjack::TMidiReceiver synth;
    synth.Open("synth", {"in"});
    pause();
    _exit(0);
  }
  testjack::TMidiReceiver watcher;
  watcher.Open("watcher", {});
  for (int i = 0; i < 500; ++i) {
    const char** p = jack_get_ports(watcher.Client(), "synth:in", nullptr, 0);
    bool there = p != nullptr;
    if (p) jack_free(p);
    if (there) break;
    SleepMs(20);
  }
  if (!t.Relay.Start(Binary)) return false;
  SleepMs(1000);
  UnderTraffic(t.Relay.Port, [&] {
    kill(client, SIGKILL);
    waitpid(client, nullptr, 0);
  });
  return Survived(t, "receiving client killed under traffic") && ok;
}

bool Soak(long Seconds, long Rate, const std::string& Binary) {
  TSetup s;
  if (!s.Start(Binary)) return false;
  long first = 0, last = 0, most = 0;
  const long count = Seconds * Rate;
  bool ok = Stream(s, count, Rate, Rate * 10, [&](long i) {
    long rss = RssKb(s.Relay.Pid);
    if (i >= Rate * 10 && first == 0) first = rss;  // after a warm-up
    last = rss;
    most = std::max(most, rss);
    std::printf("  %ld s: RSS %ld kB\n", i / Rate, rss);
    std::fflush(stdout);
  });
  std::printf("soak: %ld s at %ld/s; RSS after warm-up %ld kB, at the end %ld kB, most %ld kB\n",
              Seconds, Rate, first, last, most);
  int status = s.Relay.Terminate();
  return ok && status == 0 && (first == 0 || last - first < 1024);
}

}  // namespace reliability
