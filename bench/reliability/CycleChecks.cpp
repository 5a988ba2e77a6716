// Listen/close and connect/accept/close cycles on the component, in this
// process: open descriptors and resident memory before and after.
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <string>
#include <unistd.h>

#include "bench/reliability/Checks.h"
#include "net/WSocket.h"
#include "rtl/Application.h"

namespace reliability {
namespace {

template <class Pred>
bool PumpUntil(Pred Done, int TimeoutMs = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    win32::WaitForQueue(50);
    Application->ProcessMessages();
  }
  return true;
}

std::string ProcPath(pid_t Pid, const char* What) {
  return "/proc/" + (Pid ? std::to_string(Pid) : std::string("self")) + "/" + What;
}

}  // namespace

long RssKb(pid_t Pid) {
  std::ifstream in(ProcPath(Pid, "status"));
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
  return -1;
}

int OpenFds(pid_t Pid) {
  DIR* d = opendir(ProcPath(Pid, "fd").c_str());
  if (!d) return -1;
  int n = 0;
  while (readdir(d)) ++n;
  closedir(d);
  return n - 3;  // ".", ".." and the directory itself
}

long CpuTicks(pid_t Pid) {
  std::ifstream in(ProcPath(Pid, "stat"));
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t close = s.rfind(')');
  if (close == std::string::npos) return -1;
  long utime = 0, stime = 0;
  std::sscanf(s.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &utime,
              &stime);
  return utime + stime;
}

bool Cycles(long Datagram, long Stream) {
  bool ok = true;
  // A first round of each warms the caches (name tables, the queue's ring).
  auto udpCycle = [] {
    TWSocket s(nullptr);
    s.SetProto("udp");
    s.SetAddr("127.0.0.1");
    s.SetPort("0");
    s.Listen();
    s.Close();
  };
  for (int i = 0; i < 100; ++i) udpCycle();
  Application->ProcessMessages();
  long rss0 = RssKb();
  int fds0 = OpenFds();
  for (long i = 0; i < Datagram; ++i) {
    udpCycle();
    if (i % 1000 == 0) Application->ProcessMessages();
  }
  Application->ProcessMessages();
  long rss1 = RssKb();
  int fds1 = OpenFds();
  std::printf("datagram listen/close: %ld cycles; descriptors %d -> %d; RSS %ld -> %ld kB\n",
              Datagram, fds0, fds1, rss0, rss1);
  ok = ok && fds0 == fds1 && rss1 - rss0 < 1024;

  TWSocket listener(nullptr);
  long accepted = 0;
  listener.OnSessionAvailable = [&](TObject*, uint16_t) {
    winsock::SOCKET h = listener.Accept();
    if (h != winsock::INVALID_SOCKET) {
      ++accepted;
      auto* served = new TWSocket(nullptr);
      served->Dup(h);
      served->Close();
      delete served;
    }
  };
  listener.SetProto("tcp");
  listener.SetAddr("127.0.0.1");
  listener.SetPort("0");
  listener.Listen();
  const std::string port = listener.BoundPortText();
  auto streamCycle = [&]() {
    long before = accepted;
    TWSocket c(nullptr);
    c.SetProto("tcp");
    c.SetAddr("127.0.0.1");
    c.SetPort(port);
    bool connected = false;
    c.OnSessionConnected = [&](TObject*, uint16_t Error) { connected = Error == 0; };
    c.Connect();
    // The served end closes at once, so the client may be closed again by now.
    bool done = PumpUntil([&] { return connected && accepted > before; });
    c.Close();
    return done;
  };
  for (int i = 0; i < 100; ++i) streamCycle();
  rss0 = RssKb();
  fds0 = OpenFds();
  long failed = 0;
  for (long i = 0; i < Stream; ++i) failed += !streamCycle();
  Application->ProcessMessages();
  rss1 = RssKb();
  fds1 = OpenFds();
  std::printf(
      "stream connect/accept/close: %ld cycles (%ld failed); descriptors %d -> %d; RSS %ld -> %ld "
      "kB\n",
      Stream, failed, fds0, fds1, rss0, rss1);
  return ok && failed == 0 && fds0 == fds1 && rss1 - rss0 < 1024;
}

}  // namespace reliability
