// Line mode throughput over loopback: a TWSocket in line mode whose handler
// takes each line with Receive, against a plain blocking recv loop splitting
// on CR LF with memchr, in the same run, for short and long lines. Reports
// lines/s, MiB/s, the cost per byte and the ratio to the plain loop (median of
// interleaved runs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "PlainLines.h"
#include "net/WSocket.h"
#include "rtl/Application.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

plainlines::Count ReadComponent(uint16_t port) {
  plainlines::Count c;
  TWSocket s(nullptr);
  s.SetLineMode(true);
  std::vector<char> buf(64 * 1024);
  bool connected = false, closed = false;
  double t0 = 0;
  s.OnSessionConnected = [&](TObject*, uint16_t e) {
    connected = true;
    closed = e != 0;
    if (e) return;
    t0 = plainlines::SteadySeconds();
    s.SendText("g");
  };
  s.OnDataAvailable = [&](TObject*, uint16_t) {
    int32_t n = s.Receive(buf.data(), static_cast<int32_t>(buf.size()));
    if (n <= 0) return;
    ++c.lines;
    c.bytes += static_cast<uint64_t>(n);
    c.check += static_cast<unsigned char>(buf[0]);
  };
  s.OnSessionClosed = [&](TObject*, uint16_t) {
    c.seconds = plainlines::SteadySeconds() - t0;
    closed = true;
  };
  s.SetProto("tcp");
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
  s.Connect();
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  while (!closed && std::chrono::steady_clock::now() < limit) {
    win32::WaitForQueue(1000);
    Application->ProcessMessages();
  }
  if (!connected) std::fprintf(stderr, "component: no connection\n");
  return c;
}

struct Figures {
  std::vector<double> linesPerSecond, mibPerSecond, nsPerByte;
  bool complete = true;
  void Add(const plainlines::Count& c, uint64_t total, size_t lineLength) {
    linesPerSecond.push_back(static_cast<double>(c.lines) / c.seconds);
    mibPerSecond.push_back(static_cast<double>(c.bytes) / kMiB / c.seconds);
    nsPerByte.push_back(1e9 * c.seconds / static_cast<double>(c.bytes));
    complete =
        complete && c.bytes == total && c.lines == total / lineLength && c.check == c.lines * 'x';
  }
};

std::string LoadAverage() {
  std::string text;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    char buf[64] = {};
    if (std::fgets(buf, sizeof buf, f)) text = buf;
    std::fclose(f);
  }
  return text.substr(0, text.find(' '));
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Print(const char* name, const Figures& f) {
  std::printf("  %-34s %12.0f lines/s %9.1f MiB/s %7.3f ns/byte%s\n", name,
              Median(f.linesPerSecond), Median(f.mibPerSecond), Median(f.nsPerByte),
              f.complete ? "" : "  (INCOMPLETE)");
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
  const int runs = std::max(1, argc > 2 ? std::atoi(argv[2]) : 5);
  const uint64_t total = mib * 1024 * 1024;
  std::printf(
      "line_bench: %llu MiB of lines over loopback TCP, median of %d interleaved runs (load "
      "%s)\n",
      static_cast<unsigned long long>(mib), runs, LoadAverage().c_str());
  bool ok = true;
  for (size_t lineLength : {size_t{64}, size_t{512}, size_t{4096}}) {
    Figures component, plain;
    for (int i = 0; i < runs; ++i) {
      {
        plainlines::Sender sender(total, lineLength);
        component.Add(ReadComponent(sender.Port()), total, lineLength);
      }
      {
        plainlines::Sender sender(total, lineLength);
        plain.Add(plainlines::ReadPlain(sender.Port()), total, lineLength);
      }
    }
    std::printf("%zu-byte lines:\n", lineLength);
    Print("TWSocket line mode, Receive", component);
    Print("plain recv + memchr CR LF", plain);
    std::printf("  ratio TWSocket/plain: %.2f\n",
                Median(component.mibPerSecond) / Median(plain.mibPerSecond));
    ok = ok && component.complete && plain.complete;
  }
  return ok ? 0 : 1;
}
