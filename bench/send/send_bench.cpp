// Bulk TCP throughput over loopback: TWSocket::Send through the send queue,
// driven by the one message loop, against a plain blocking send loop in the
// same run; and the sending thread's CPU time per megabyte of each.
//
// A third line sends with plain blocking calls of 1460 bytes, the most one
// Winsock call of the queue carries, to show what that block size alone costs.
#include <ctime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "PlainTcp.h"
#include "net/WSocket.h"
#include "rtl/Application.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
// Bytes the component keeps queued at most: bounded memory, and the kernel
// buffers never run dry between refills.
constexpr size_t kHighWater = 2 * 1024 * 1024;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Result {
  uint64_t received = 0;
  double seconds = 0;
  double senderCpu = 0;
};

Result RunComponent(uint64_t total, size_t chunk) {
  Result r;
  plaintcp::Receiver receiver;
  TWSocket s(nullptr);
  s.SetLingerOnOff(wsLingerOff);  // a graceful close: nothing dropped at the end
  std::vector<char> data(chunk, 'c');
  uint64_t queued = 0;
  bool connected = false, running = false, failed = false, done = false;
  auto feed = [&] {
    while (queued < total &&
           s.SendQueue.size() * static_cast<size_t>(s.SendBlockSize) < kHighWater) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(chunk, total - queued));
      if (s.Send(data.data(), static_cast<int32_t>(n)) < 0) {
        failed = true;
        return;
      }
      queued += n;
    }
    if (queued >= total && s.SendQueueDrained) done = true;
  };
  s.OnSessionConnected = [&](TObject*, uint16_t e) {
    connected = e == 0;
    failed = e != 0;
  };
  s.OnDataSent = [&](TObject*, uint16_t) {
    if (running) feed();
  };
  s.OnSessionClosed = [&](TObject*, uint16_t e) {
    if (e) failed = true;
  };
  s.SetProto("tcp");
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(receiver.Port()));
  s.Connect();

  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  auto pumpUntil = [&](const bool& flag) {
    while (!flag && !failed && std::chrono::steady_clock::now() < limit) {
      win32::WaitForQueue(1000);
      Application->ProcessMessages();
    }
  };
  pumpUntil(connected);
  double t0 = plaintcp::SteadySeconds(), cpu0 = ThreadCpuSeconds();
  running = true;
  feed();
  pumpUntil(done);
  r.senderCpu = ThreadCpuSeconds() - cpu0;
  s.Close();
  r.received = receiver.Wait();
  r.seconds = receiver.FinishedAt() - t0;
  if (failed || r.received != total)
    std::fprintf(stderr, "component: %llu of %llu bytes arrived\n",
                 static_cast<unsigned long long>(r.received),
                 static_cast<unsigned long long>(total));
  return r;
}

Result RunPlain(uint64_t total, size_t chunk) {
  Result r;
  plaintcp::Receiver receiver;
  int fd = plaintcp::Connect(receiver.Port());
  double t0 = plaintcp::SteadySeconds(), cpu0 = ThreadCpuSeconds();
  plaintcp::SendAll(fd, total, chunk);
  r.senderCpu = ThreadCpuSeconds() - cpu0;
  plaintcp::Close(fd);
  r.received = receiver.Wait();
  r.seconds = receiver.FinishedAt() - t0;
  return r;
}

// Each variant runs several times, interleaved, on a machine that others share:
// the median of each figure is reported, with the range.
struct Figures {
  std::vector<double> mibPerSecond, cpuMsPerMib;
  bool complete = true;
  void Add(const Result& r, uint64_t total) {
    double mib = static_cast<double>(r.received) / kMiB;
    mibPerSecond.push_back(mib / r.seconds);
    cpuMsPerMib.push_back(1000.0 * r.senderCpu / mib);
    complete = complete && r.received == total;
  }
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Print(const char* name, const Figures& f) {
  auto range = [](const std::vector<double>& v) {
    return std::make_pair(*std::min_element(v.begin(), v.end()),
                          *std::max_element(v.begin(), v.end()));
  };
  auto t = range(f.mibPerSecond);
  auto c = range(f.cpuMsPerMib);
  std::printf("%-38s %8.1f MiB/s (%.0f..%.0f); sender CPU %6.3f ms/MiB (%.3f..%.3f)\n", name,
              Median(f.mibPerSecond), t.first, t.second, Median(f.cpuMsPerMib), c.first, c.second);
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 512;
  size_t chunk = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 64 * 1024;
  int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  if (runs < 1) runs = 1;
  uint64_t total = mib * 1024 * 1024;
  std::printf(
      "send_bench: %llu MiB over loopback TCP, Send/send calls of %zu bytes, one receiving "
      "thread;\n"
      "median of %d interleaved runs (range)\n",
      static_cast<unsigned long long>(mib), chunk, runs);

  Figures component, plain, plainSmall;
  for (int i = 0; i < runs; ++i) {
    component.Add(RunComponent(total, chunk), total);
    plain.Add(RunPlain(total, chunk), total);
    plainSmall.Add(RunPlain(total, 1460), total);
  }
  Print("TWSocket::Send through the queue", component);
  Print("plain blocking send loop", plain);
  Print("plain blocking send, 1460-byte calls", plainSmall);
  std::printf("ratio TWSocket/plain: throughput %.2f; sender CPU per MiB %.2fx the plain loop's\n",
              Median(component.mibPerSecond) / Median(plain.mibPerSecond),
              Median(component.cpuMsPerMib) / Median(plain.cpuMsPerMib));
  return component.complete && plain.complete && plainSmall.complete ? 0 : 1;
}
