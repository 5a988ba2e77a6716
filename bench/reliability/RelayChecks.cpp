// The headless relay on a private JACK server under floods and faults.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/reliability/Checks.h"
#include "tests/support/JackServer.h"
#include "tests/support/MidiReceiver.h"

namespace reliability {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

void SleepMs(int Ms) { std::this_thread::sleep_for(std::chrono::milliseconds(Ms)); }

// The relay copied into a directory of its own with its settings file, started
// without a display.
struct TRelayRun {
  std::string Dir;
  pid_t Pid = -1;
  uint16_t Port = 0;
  ~TRelayRun() {
    if (Pid > 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    std::error_code ec;
    if (!Dir.empty()) fs::remove_all(Dir, ec);
  }
  bool Start(const std::string& Binary) {
    char tmpl[] = "/tmp/vorlanx-reliability-XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    Dir = tmpl;
    fs::copy_file(Binary, Dir + "/vorlanx");
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    Port = ntohs(a.sin_port);
    close(fd);
    std::ofstream(Dir + "/VORLANX.INI")
        << "[Data]\nAdress=127.0.0.1\nPort=" << Port << "\nMIDI-Out=0\n";
    Pid = fork();
    if (Pid == 0) {
      unsetenv("DISPLAY");
      execl((Dir + "/vorlanx").c_str(), "vorlanx", static_cast<char*>(nullptr));
      _exit(127);
    }
    return Pid > 0;
  }
  bool Alive() const { return Pid > 0 && waitpid(Pid, nullptr, WNOHANG) == 0; }
  // Exit status after SIGTERM, -1 when it did not end within 10 s.
  int Terminate() {
    kill(Pid, SIGTERM);
    for (int i = 0; i < 1000; ++i) {
      int status = 0;
      if (waitpid(Pid, &status, WNOHANG) == Pid) {
        Pid = -1;
        return status;
      }
      SleepMs(10);
    }
    return -1;
  }
};

class TSender {
 public:
  explicit TSender(uint16_t Port) : FFd(socket(AF_INET, SOCK_DGRAM, 0)) {
    FTo.sin_family = AF_INET;
    FTo.sin_port = htons(Port);
    FTo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int big = 8 << 20;
    setsockopt(FFd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
  }
  ~TSender() { close(FFd); }
  bool Send(const void* Data, size_t Size) {
    return sendto(FFd, Data, Size, 0, reinterpret_cast<const sockaddr*>(&FTo), sizeof FTo) ==
           static_cast<ssize_t>(Size);
  }
  // Message number Seq as a note-on the receiver can number again.
  bool SendSeq(uint32_t Seq) {
    uint8_t m[3] = {static_cast<uint8_t>(0x90 | (Seq >> 14 & 0x0F)),
                    static_cast<uint8_t>(Seq & 0x7F), static_cast<uint8_t>(Seq >> 7 & 0x7F)};
    return Send(m, 3);
  }

 private:
  int FFd;
  sockaddr_in FTo{};
};

uint32_t SeqOf(const testjack::TMidiEvent& E) {
  return (E.Bytes[0] & 0x0Fu) << 14 | E.Bytes[2] << 7 | E.Bytes[1];
}

// Bytes waiting in the relay's socket (from the kernel's table).
long Waiting(uint16_t Port) {
  std::ifstream in("/proc/net/udp");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    unsigned port = 0, tx = 0, rx = 0;
    if (std::sscanf(line.c_str(), " %*d: %*8X:%4X %*8X:%*4X %*2X %8X:%8X", &port, &tx, &rx) == 3 &&
        port == Port)
      return rx;
  }
  return 0;
}

// A JACK server, a receiving client and the relay connected to it.
struct TSetup {
  testjack::TJackServer Server;
  testjack::TMidiReceiver Synth;
  TRelayRun Relay;
  bool Start(const std::string& Binary) {
    std::string error;
    if (!Server.Start(256, 48000, &error) || !Synth.Open("synth", {"in"}, &error)) {
      std::printf("JACK: %s\n", error.c_str());
      return false;
    }
    if (!Relay.Start(Binary) || !Synth.WaitConnections(0, 1, 20000)) {
      std::printf("the relay did not connect\n");
      return false;
    }
    TSender probe(Relay.Port);
    for (int i = 0; i < 100; ++i) {  // until it receives
      probe.SendSeq(0);
      if (!Synth.Wait(1, 100).empty()) break;
    }
    Synth.Collect(300);
    return true;
  }
};

// Sends Count messages at Rate, checks each arrives once, in order; gives the
// relay's resident memory every Every messages to Sample.
template <class F>
bool Stream(TSetup& S, long Count, long Rate, long Every, F Sample) {
  TSender send(S.Relay.Port);
  auto start = Clock::now();
  uint32_t expected = 0;
  long bad = 0;
  for (long i = 0; i < Count; ++i) {
    auto due = start + std::chrono::microseconds(i * 1000000 / Rate);
    if (Clock::now() < due) std::this_thread::sleep_until(due);
    send.SendSeq(static_cast<uint32_t>(i) & 0x3FFFF);
    for (const auto& e : S.Synth.Collect(0)) bad += SeqOf(e) != (expected++ & 0x3FFFF);
    if (i % Every == 0) Sample(i);
  }
  for (const auto& e : S.Synth.Wait(static_cast<size_t>(Count) - expected, 10000))
    bad += SeqOf(e) != (expected++ & 0x3FFFF);
  std::printf("  %ld sent, %u arrived, %ld out of order\n", Count, expected, bad);
  return expected == static_cast<uint32_t>(Count) && bad == 0;
}

}  // namespace

bool Flood(long Count, long Rate, const std::string& Binary) {
  TSetup s;
  if (!s.Start(Binary)) return false;
  TSender send(s.Relay.Port);
  std::mt19937 random(12345);
  std::vector<uint8_t> junk(65507);
  long rss0 = RssKb(s.Relay.Pid), rssMax = rss0;
  uint32_t valid = 0, arrived = 0;
  long bad = 0, throttled = 0;
  auto start = Clock::now();
  for (long i = 0; i < Count; ++i) {
    auto due = start + std::chrono::microseconds(i * 1000000 / Rate);
    if (Clock::now() < due) std::this_thread::sleep_until(due);
    if (i % 10 == 9) {
      send.SendSeq(valid++ & 0x3FFFF);
    } else {
      size_t size = random() % 65508;
      if (size == 3) size = 4;  // three bytes would be a message to play
      for (size_t k = 0; k < size; k += 4) {
        uint32_t r = random();
        std::memcpy(&junk[k], &r, std::min<size_t>(4, size - k));
      }
      send.Send(junk.data(), size);
    }
    // Never more than the relay's buffer holds: the kernel would drop the
    // excess before the relay sees it.
    while (Waiting(s.Relay.Port) > (4 << 20)) {
      ++throttled;
      SleepMs(1);
    }
    for (const auto& e : s.Synth.Collect(0)) bad += SeqOf(e) != (arrived++ & 0x3FFFF);
    if (i % 100000 == 0) {
      rssMax = std::max(rssMax, RssKb(s.Relay.Pid));
      if (!s.Relay.Alive()) break;
    }
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (const auto& e : s.Synth.Wait(valid - arrived, 10000))
    bad += SeqOf(e) != (arrived++ & 0x3FFFF);
  long rss1 = RssKb(s.Relay.Pid);
  bool alive = s.Relay.Alive();
  std::printf(
      "flood: %ld datagrams (%u valid) in %.1f s (%.0f/s; paced %ld times); %u arrived, "
      "%ld out of order; relay %s; RSS %ld -> max %ld -> %ld kB\n",
      Count, valid, seconds, Count / seconds, throttled, arrived, bad, alive ? "alive" : "GONE",
      rss0, rssMax, rss1);
  int status = s.Relay.Terminate();
  return alive && arrived == valid && bad == 0 && rss1 - rss0 < 4096 && status == 0;
}

bool Faults(const std::string& Binary) {
  bool ok = true;
  TSetup s;
  if (!s.Start(Binary)) return false;
  // The server killed while datagrams arrive.
  TSender send(s.Relay.Port);
  std::thread traffic([&] {
    for (int i = 0; i < 20000; ++i) {
      send.SendSeq(i & 0x3FFFF);
      if (i % 100 == 0) SleepMs(1);
    }
  });
  SleepMs(100);
  s.Synth.Close();
  s.Server.Kill();
  traffic.join();
  SleepMs(500);
  bool alive = s.Relay.Alive();
  long cpu0 = CpuTicks(s.Relay.Pid);
  SleepMs(2000);
  long idle = CpuTicks(s.Relay.Pid) - cpu0;
  std::printf("server killed under traffic: relay %s; %ld ticks in 2 s idle\n",
              alive ? "alive" : "GONE", idle);
  ok = ok && alive && idle <= 2;
  int status = s.Relay.Terminate();
  std::printf("  SIGTERM: exit status %d\n", status);
  ok = ok && status == 0;

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
  TSender send2(t.Relay.Port);
  std::thread traffic2([&] {
    for (int i = 0; i < 20000; ++i) {
      send2.SendSeq(i & 0x3FFFF);
      if (i % 100 == 0) SleepMs(1);
    }
  });
  SleepMs(100);
  kill(client, SIGKILL);
  waitpid(client, nullptr, 0);
  traffic2.join();
  SleepMs(500);
  alive = t.Relay.Alive();
  cpu0 = CpuTicks(t.Relay.Pid);
  SleepMs(2000);
  idle = CpuTicks(t.Relay.Pid) - cpu0;
  std::printf("receiving client killed under traffic: relay %s; %ld ticks in 2 s idle\n",
              alive ? "alive" : "GONE", idle);
  status = t.Relay.Terminate();
  std::printf("  SIGTERM: exit status %d\n", status);
  return ok && alive && idle <= 2 && status == 0;
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
  });
  std::printf("soak: %ld s at %ld/s; RSS after warm-up %ld kB, at the end %ld kB, most %ld kB\n",
              Seconds, Rate, first, last, most);
  int status = s.Relay.Terminate();
  return ok && status == 0 && (first == 0 || last - first < 1024);
}

}  // namespace reliability
