#include "bench/reliability/RelaySetup.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/Loopback.h"

namespace reliability {

namespace fs = std::filesystem;

void SleepMs(int Ms) { std::this_thread::sleep_for(std::chrono::milliseconds(Ms)); }

TRelayRun::~TRelayRun() {
  FProcess.Signal(SIGKILL);
  FProcess.WaitStatus(-1);
  std::error_code ec;
  if (!Dir.empty()) fs::remove_all(Dir, ec);
}

bool TRelayRun::Start(const std::string& Binary) {
  char tmpl[] = "/tmp/vorlanx-reliability-XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  Dir = tmpl;
  fs::copy_file(Binary, Dir + "/vorlanx");
  int fd = loopback::BindUdp(&Port);
  if (fd >= 0) close(fd);
  std::ofstream(Dir + "/VORLANX.INI")
      << "[Data]\nAdress=127.0.0.1\nPort=" << Port << "\nMIDI-Out=0\n";
  support::TLaunch launch;
  launch.Argv = {Dir + "/vorlanx"};
  launch.Env = {"DISPLAY"};
  launch.Stdin = launch.Stdout = launch.Stderr = support::TLaunch::kInherit;
  if (!FProcess.Start(launch)) return false;
  Pid = FProcess.Pid();
  return true;
}

int TRelayRun::Terminate() {
  FProcess.Signal(SIGTERM);
  int status = FProcess.WaitStatus(10000);
  if (status != -1) Pid = -1;
  return status;
}

TSender::TSender(uint16_t Port)
    : FFd(socket(AF_INET, SOCK_DGRAM, 0)), FTo(loopback::Address(Port)) {
  int big = 8 << 20;
  setsockopt(FFd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
}

TSender::~TSender() { close(FFd); }

bool TSender::Send(const void* Data, size_t Size) {
  return sendto(FFd, Data, Size, 0, reinterpret_cast<const sockaddr*>(&FTo), sizeof FTo) ==
         static_cast<ssize_t>(Size);
}

bool TSender::SendSeq(uint32_t Seq) {
  uint8_t m[3];
  SeqMessage(Seq, m);
  return Send(m, 3);
}

void SeqMessage(uint32_t Seq, uint8_t* Bytes) {
  Bytes[0] = static_cast<uint8_t>(0x90 | (Seq >> 14 & 0x0F));
  Bytes[1] = static_cast<uint8_t>(Seq & 0x7F);
  Bytes[2] = static_cast<uint8_t>(Seq >> 7 & 0x7F);
}

uint32_t SeqOf(const testjack::TMidiEvent& E) {
  return (E.Bytes[0] & 0x0Fu) << 14 | E.Bytes[2] << 7 | E.Bytes[1];
}

long Waiting(uint16_t Port, long* Drops) {
  std::ifstream in("/proc/net/udp");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    unsigned port = 0, tx = 0, rx = 0;
    long drops = 0;
    // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ref pointer drops
    if (std::sscanf(line.c_str(),
                    " %*d: %*8X:%4X %*8X:%*4X %*2X %8X:%8X %*X:%*X %*X %*u %*d %*u %*d %*X %ld",
                    &port, &tx, &rx, &drops) >= 3 &&
        port == Port) {
      if (Drops) *Drops = drops;
      return rx;
    }
  }
  return 0;
}

long SendPaced(TSender& Sender, long Count, long Rate, const std::function<iovec(long)>& Fill,
               const std::function<void(long)>& After) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const long step = std::max(1L, Rate / 500);  // datagrams per wake-up
  mmsghdr batch[kBatch];
  iovec parts[kBatch];
  long refused = 0;
  for (long i = 0; i < Count;) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const long due = std::min(Count, static_cast<long>(elapsed * static_cast<double>(Rate)) + 1);
    while (i < due) {
      const int n = static_cast<int>(std::min(kBatch, due - i));
      for (int k = 0; k < n; ++k) {
        parts[k] = Fill(i + k);
        batch[k] = mmsghdr{};
        batch[k].msg_hdr.msg_name = const_cast<sockaddr_in*>(&Sender.To());
        batch[k].msg_hdr.msg_namelen = sizeof(sockaddr_in);
        batch[k].msg_hdr.msg_iov = &parts[k];
        batch[k].msg_hdr.msg_iovlen = 1;
      }
      int sent = sendmmsg(Sender.Fd(), batch, static_cast<unsigned>(n), 0);
      if (sent <= 0) {  // the first one failed: skip it
        ++refused;
        sent = 1;
      }
      i += sent;
      After(i);
    }
    if (i < Count)
      std::this_thread::sleep_until(start + std::chrono::microseconds((i + step) * 1000000 / Rate));
  }
  return refused;
}

bool TSetup::Start(const std::string& Binary) {
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
  Synth.Settle();
  return true;
}

}  // namespace reliability
