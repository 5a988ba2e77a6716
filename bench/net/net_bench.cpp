// Datagram throughput: N three-byte datagrams over loopback into a TWSocket
// whose OnDataAvailable calls ReceiveText, against the same N through a plain
// blocking recv loop; then the CPU a listening socket uses while idle.
//
// The sender runs on its own thread and keeps at most a window of datagrams
// in flight, so that the receiver's speed is measured and nothing is dropped.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <vector>
#include <ctime>
#include <thread>

#include "Baselines.h"
#include "PlainUdp.h"
#include "net/WSocket.h"
#include "rtl/Application.h"

namespace {

constexpr long kWindow = 64;
using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The receiver's progress, which the sender waits on (without spinning).
class Progress {
 public:
  long Count() const { return count_.load(std::memory_order_acquire); }
  void Add() {
    long c = count_.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (c % (kWindow / 4) == 0) {
      { std::lock_guard<std::mutex> lock(mutex_); }
      cv_.notify_one();
    }
  }
  void WaitBelow(long sent) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return stopped_ || sent - Count() < kWindow; });
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
    }
    cv_.notify_one();
  }
  bool Stopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
  }

 private:
  std::atomic<long> count_{0};
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stopped_ = false;
};

// Sends n datagrams to port, never more than kWindow ahead of the receiver.
std::thread StartSender(uint16_t port, long n, Progress* progress) {
  return std::thread([=] {
    int fd = plainudp::OpenUnbound();
    const unsigned char msg[3] = {0x90, 0x40, 0x7F};
    for (long sent = 0; sent < n;) {
      if (sent - progress->Count() >= kWindow) {
        progress->WaitBelow(sent);
        if (progress->Stopped()) break;
      }
      if (plainudp::SendTo(fd, port, msg, sizeof(msg))) ++sent;
    }
    plainudp::Close(fd);
  });
}

struct Result {
  long received = 0;
  double seconds = 0;
  double processCpu = 0;
  double receiverCpu = 0;
};

// Starts the sender, runs the receive loop until it returns, and measures it.
template <typename Loop>
Result Measure(const char* name, uint16_t port, long n, Progress& received, Loop loop) {
  Result r;
  double cpu0 = ProcessCpuSeconds(), tcpu0 = ThreadCpuSeconds();
  auto t0 = Clock::now();
  std::thread sender = StartSender(port, n, &received);
  loop();
  r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  r.receiverCpu = ThreadCpuSeconds() - tcpu0;
  r.received = received.Count();
  if (r.received < n)
    std::fprintf(stderr, "%s: only %ld of %ld datagrams arrived\n", name, r.received, n);
  received.Stop();
  sender.join();
  r.processCpu = ProcessCpuSeconds() - cpu0;
  return r;
}

void ListenOnLoopback(TWSocket& s) {
  s.SetProto("udp");
  s.SetAddr("127.0.0.1");
  s.SetPort("0");
  s.Listen();
}

Result RunComponent(long n) {
  Progress received;
  long wrongSize = 0;
  TWSocket s(nullptr);
  s.OnDataAvailable = [&](TObject*, uint16_t) {
    std::string text = s.ReceiveText();
    if (text.size() != 3) ++wrongSize;
    received.Add();
  };
  ListenOnLoopback(s);
  uint16_t port = static_cast<uint16_t>(std::atoi(s.BoundPortText().c_str()));
  Result r = Measure("component", port, n, received, [&] {
    auto limit = Clock::now() + std::chrono::seconds(120);
    while (received.Count() < n && Clock::now() < limit) {
      win32::WaitForQueue(1000);
      Application->ProcessMessages();
    }
  });
  if (wrongSize) std::fprintf(stderr, "component: %ld datagrams of the wrong size\n", wrongSize);
  return r;
}

Result RunPlain(long n) {
  Progress received;
  uint16_t port = 0;
  int fd = plainudp::OpenBound(port);
  Result r = Measure("plain", port, n, received, [&] {
    char buffer[1024];
    while (received.Count() < n) {
      if (plainudp::Receive(fd, buffer, sizeof(buffer)) < 0) break;
      received.Add();
    }
  });
  plainudp::Close(fd);
  return r;
}

// The receive path alone: kBurst datagrams are queued while the receiver
// waits, then drained; only the drains are timed. drain(k) takes k datagrams
// and returns how many it got.
constexpr long kBurst = 200;  // fits the default receive buffer
// The burst the drains use now: kBurst, or 1 for one datagram per wake-up (a
// relay at a few thousand messages per second sees that).
long g_burst = kBurst;

struct DrainResult {
  long received = 0;
  double seconds = 0;
  double cpu = 0;
};

template <typename Drain>
DrainResult MeasureDrains(uint16_t port, long n, Drain drain) {
  DrainResult r;
  int fd = plainudp::OpenUnbound();
  const unsigned char msg[3] = {0x80, 0x40, 0x00};
  while (r.received < n) {
    for (long i = 0; i < g_burst; ++i) plainudp::SendTo(fd, port, msg, sizeof(msg));
    double c0 = ThreadCpuSeconds();
    auto t0 = Clock::now();
    long got = drain(g_burst);
    r.seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpu += ThreadCpuSeconds() - c0;
    r.received += got;
    if (got < g_burst) {
      std::fprintf(stderr, "drain: only %ld of %ld datagrams arrived\n", got, g_burst);
      break;
    }
  }
  plainudp::Close(fd);
  return r;
}

DrainResult DrainComponent(long n) {
  long count = 0;
  TWSocket s(nullptr);
  s.OnDataAvailable = [&](TObject*, uint16_t) {
    if (s.ReceiveText().size() == 3) ++count;
  };
  ListenOnLoopback(s);
  uint16_t port = static_cast<uint16_t>(std::atoi(s.BoundPortText().c_str()));
  return MeasureDrains(port, n, [&](long k) {
    long target = count + k;
    auto limit = Clock::now() + std::chrono::seconds(5);
    while (count < target && Clock::now() < limit) {
      win32::WaitForQueue(1000);
      Application->ProcessMessages();
    }
    return k - (target - count);
  });
}

DrainResult DrainPlain(long n) {
  uint16_t port = 0;
  int fd = plainudp::OpenBound(port);
  DrainResult r = MeasureDrains(port, n, [&](long k) {
    char buffer[1024];
    long got = 0;
    while (got < k && plainudp::Receive(fd, buffer, sizeof(buffer)) == 3) ++got;
    return got;
  });
  plainudp::Close(fd);
  return r;
}

DrainResult DrainBaseline(std::unique_ptr<baselines::Receiver> receiver, long n) {
  if (!receiver) return DrainResult{};
  return MeasureDrains(receiver->Port(), n, [&](long k) { return receiver->Drain(k); });
}

// The receive path against what a programmer would pick instead, in the same
// run: rounds interleave the contenders so that other load on the machine
// falls on all of them alike; the median per-datagram CPU of each is shown.
struct Contender {
  const char* name;
  DrainResult (*drain)(long n);
  std::vector<double> nsPerDatagram;
};

DrainResult DrainLibuv(long n) { return DrainBaseline(baselines::MakeLibuvReceiver(), n); }
DrainResult DrainAsio(long n) { return DrainBaseline(baselines::MakeAsioReceiver(), n); }

Contender g_contenders[] = {
    {"plain", &DrainPlain, {}},
    {"libuv", &DrainLibuv, {}},
    {"asio", &DrainAsio, {}},
    {"component", &DrainComponent, {}},
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

bool CompareReceivePaths(long n, int rounds, long burst) {
  std::printf(
      "receive path against the alternatives (bursts of %ld queued, then drained on one thread; "
      "receiver CPU per datagram, median of %d interleaved rounds of %ld datagrams):\n",
      burst, rounds, n);
  g_burst = burst;
  for (Contender& c : g_contenders) c.nsPerDatagram.clear();
  bool complete = true;
  for (int round = 0; round < rounds; ++round) {
    for (Contender& c : g_contenders) {
      DrainResult r = c.drain(n);
      if (r.received == 0) continue;  // not built in
      if (r.received < n) complete = false;
      c.nsPerDatagram.push_back(1e9 * r.cpu / static_cast<double>(r.received));
    }
  }
  const double plain = Median(g_contenders[0].nsPerDatagram);
  const double libuv = Median(g_contenders[1].nsPerDatagram);
  std::printf("  %-10s %12s %10s %10s\n", "", "ns/datagram", "/plain", "/libuv");
  for (const Contender& c : g_contenders) {
    if (c.nsPerDatagram.empty()) {
      std::printf("  %-10s %12s\n", c.name, "not built");
      continue;
    }
    const double ns = Median(c.nsPerDatagram);
    std::printf("  %-10s %12.0f %10.2f", c.name, ns, ns / plain);
    if (libuv > 0)
      std::printf(" %10.2f\n", ns / libuv);
    else
      std::printf(" %10s\n", "-");
  }
  g_burst = kBurst;
  return complete;
}

void PrintDrain(const char* name, const DrainResult& r) {
  std::printf(
      "%-30s %8ld datagrams in %7.3f s: %10.0f datagrams/s; receiver CPU %.3f s (%.0f ns per "
      "datagram)\n",
      name, r.received, r.seconds, r.received / r.seconds, r.cpu, 1e9 * r.cpu / r.received);
}

double IdleCpu(int seconds) {
  TWSocket s(nullptr);
  s.OnDataAvailable = [&](TObject*, uint16_t) { s.ReceiveText(); };
  ListenOnLoopback(s);
  double cpu0 = ProcessCpuSeconds();
  auto end = Clock::now() + std::chrono::seconds(seconds);
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
    win32::WaitForQueue(static_cast<int>(left) + 1);
    Application->ProcessMessages();
  }
  return ProcessCpuSeconds() - cpu0;
}

void Print(const char* name, const Result& r) {
  std::printf(
      "%-30s %8ld datagrams in %7.3f s: %10.0f datagrams/s; CPU: process %.3f s, receiver %.3f s\n",
      name, r.received, r.seconds, r.received / r.seconds, r.processCpu, r.receiverCpu);
}

}  // namespace

int main(int argc, char** argv) {
  // --compare N ROUNDS BURST: only the comparison with the alternatives.
  if (argc == 5 && std::strcmp(argv[1], "--compare") == 0)
    return CompareReceivePaths(std::atol(argv[2]), std::atoi(argv[3]), std::atol(argv[4])) ? 0 : 1;
  // --drain NAME N [BURST]: only that contender's drains, e.g. to count its
  // system calls or instructions.
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--drain") == 0) {
    if (argc == 5) g_burst = std::atol(argv[4]);
    for (const Contender& c : g_contenders)
      if (std::strcmp(c.name, argv[2]) == 0) {
        DrainResult r = c.drain(std::atol(argv[3]));
        PrintDrain(c.name, r);
        return r.received == std::atol(argv[3]) ? 0 : 1;
      }
    std::fprintf(stderr, "net_bench: no contender %s\n", argv[2]);
    return 2;
  }
  long n = argc > 1 ? std::atol(argv[1]) : 200000;
  int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
  double cpuStart = ProcessCpuSeconds();

  std::printf("net_bench: %ld three-byte datagrams over loopback\n", n);
  std::printf("streaming (a sender thread, at most %ld datagrams in flight):\n", kWindow);
  Result component = RunComponent(n);
  Result plain = RunPlain(n);
  Print("  TWSocket + ReceiveText", component);
  Print("  plain blocking recv loop", plain);
  double ratio = (plain.received / plain.seconds) / (component.received / component.seconds);
  std::printf("  ratio plain/TWSocket: %.2f\n", ratio);

  std::printf("receive path alone (bursts of %ld queued, then drained; drains timed):\n", kBurst);
  DrainResult drainComponent = DrainComponent(n);
  DrainResult drainPlain = DrainPlain(n);
  PrintDrain("  TWSocket + ReceiveText", drainComponent);
  PrintDrain("  plain blocking recv loop", drainPlain);
  double drainRatio = (drainPlain.received / drainPlain.seconds) /
                      (drainComponent.received / drainComponent.seconds);
  std::printf("  ratio plain/TWSocket: %.2f\n", drainRatio);

  const bool compared = CompareReceivePaths(std::max(n / 5, kBurst), 5, kBurst) &&
                        CompareReceivePaths(std::max(n / 20, kBurst), 5, 1);

  double idle = IdleCpu(idleSeconds);
  std::printf("idle listening socket on the loop for %d s: CPU %.1f s (%.6f s)\n", idleSeconds,
              idle, idle);
  std::printf("process CPU time of the run: %.3f s\n", ProcessCpuSeconds() - cpuStart);
  bool failed = component.received < n || plain.received < n || drainComponent.received < n ||
                drainPlain.received < n || !compared;
  return failed ? 1 : 0;
}
