// The relay as a Type=notify service: a notification socket of the test's own
// stands in for the service manager's and records what the relay tells it.
// Also the counts that SIGUSR1 asks for.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/app/RelayProcess.h"

namespace {

using namespace relaytest;
using Clock = std::chrono::steady_clock;

// An AF_UNIX datagram socket at a path, as a service manager listens.
class TNotifySocket {
 public:
  explicit TNotifySocket(const std::string& Path) : FPath(Path) {
    FFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    Path.copy(a.sun_path, sizeof a.sun_path - 1);
    if (FFd >= 0 && ::bind(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(FFd);
      FFd = -1;
    }
  }
  ~TNotifySocket() {
    if (FFd >= 0) ::close(FFd);
    ::unlink(FPath.c_str());
  }
  bool Bound() const { return FFd >= 0; }
  std::string Env() const { return "NOTIFY_SOCKET=" + FPath; }

  // The next message, "" when none came within TimeoutMs.
  std::string Next(int TimeoutMs) {
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, TimeoutMs) != 1) return "";
    char buf[4096];
    ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
  }

  // Every message that comes within Ms, with the time each arrived.
  std::vector<std::pair<Clock::time_point, std::string>> Collect(int Ms) {
    std::vector<std::pair<Clock::time_point, std::string>> got;
    const auto end = Clock::now() + std::chrono::milliseconds(Ms);
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
      const int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count());
      std::string m = Next(left + 1);
      if (!m.empty()) got.emplace_back(Clock::now(), m);
    }
    return got;
  }

  // Skips keep-alives until another message comes; "" after TimeoutMs.
  std::string NextBut(const std::string& Skipped, int TimeoutMs = 10000) {
    const auto end = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (Clock::now() < end) {
      std::string m = Next(100);
      if (!m.empty() && m != Skipped) return m;
    }
    return "";
  }

 private:
  std::string FPath;
  int FFd = -1;
};

class ServiceNotify : public TRelayTest {
 protected:
  void StartRelay(TRelay& Relay, std::vector<std::string> Env) {
    FPort = FreeUdpPort();
    Relay.WriteFile("VORLANX.INI",
                    "[Data]\nAdress=127.0.0.1\nPort=" + std::to_string(FPort) + "\n");
    Env.push_back("DISPLAY");
    ASSERT_TRUE(Relay.Start(Env));
    ASSERT_TRUE(Relay.WaitBound("127.0.0.1", FPort));
  }
  std::string StartLine(const std::string& Output = "playing on synth:in_a") {
    return "receiving on 127.0.0.1:" + std::to_string(FPort) + ", " + Output;
  }
  std::string Sender() { return "127.0.0.1:" + std::to_string(FSender.LocalPort()); }

  uint16_t FPort = 0;
};

TEST_F(ServiceNotify, ReadyCountsAtMostOnceASecondWatchdogAndStopping) {
  TRelay relay;
  TNotifySocket notify(relay.Dir() + "/notify");
  ASSERT_TRUE(notify.Bound());
  // A keep-alive every 150 ms.
  StartRelay(relay, {notify.Env(), "WATCHDOG_USEC=300000"});
  EXPECT_EQ(notify.NextBut("WATCHDOG=1"), "READY=1\nSTATUS=" + StartLine());
  ASSERT_TRUE(WaitConnected(0));

  // Traffic for two and a half seconds: the counts follow at most once a second.
  int sent = 0;
  std::vector<std::pair<Clock::time_point, std::string>> got;
  const auto end = Clock::now() + std::chrono::milliseconds(2500);
  while (Clock::now() < end) {
    ASSERT_TRUE(FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64})));
    ++sent;
    for (auto& m : notify.Collect(50)) got.push_back(m);
  }
  ASSERT_TRUE(FSender.Send(FPort, Bytes({0x90, 0x3C})));
  ASSERT_TRUE(FSender.Send(FPort, std::string(1500, '\x80')));
  ASSERT_TRUE(FSender.Send(FPort, Bytes({0xFE, 0x3C, 0x64})));
  const std::string final = "STATUS=" + StartLine() + "; received " + std::to_string(sent + 3) +
                            ", played " + std::to_string(sent) +
                            ", dropped 3 (2 for their length, 1 for 0xFE, 0 with no output), "
                            "last from " +
                            Sender();
  for (const auto end2 = Clock::now() + std::chrono::seconds(10);
       Clock::now() < end2 && (got.empty() || got.back().second != final);)
    for (auto& m : notify.Collect(100)) got.push_back(m);
  std::vector<Clock::time_point> statuses;
  int keepAlives = 0;
  for (auto& [at, m] : got) {
    if (m == "WATCHDOG=1")
      ++keepAlives;
    else if (m.rfind("STATUS=" + StartLine() + "; received ", 0) == 0)
      statuses.push_back(at);
    else
      ADD_FAILURE() << "unexpected: " << m;
  }
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().second, final);
  // Timers are never early, but the test may read two statuses late and at once.
  EXPECT_GE(statuses.size(), 2u);
  EXPECT_LE(statuses.size(), 5u);
  EXPECT_GE(keepAlives, 5);

  // Idle: keep-alives only, at half the interval.
  std::vector<std::pair<Clock::time_point, std::string>> idle = notify.Collect(1500);
  for (auto& m : idle) EXPECT_EQ(m.second, "WATCHDOG=1");
  EXPECT_GE(idle.size(), 4u);
  EXPECT_LE(idle.size(), 12u);

  relay.Child().Signal(SIGTERM);
  EXPECT_EQ(notify.NextBut("WATCHDOG=1"), "STOPPING=1");
  int status = relay.Child().Wait(10000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(relay.Child().Stderr(), "vorlanx: " + StartLine() + "\nvorlanx: stopped\n");
  EXPECT_EQ(FSynth.Wait(sent, 5000).size(), static_cast<size_t>(sent));
}

// Without an output every valid datagram is dropped and counted so; without
// a watchdog interval an idle relay tells nothing and wakes for nothing.
TEST_F(ServiceNotify, NoOutputNoWatchdogAndTheCountsOnSigusr1) {
  FSynth.Close();
  TRelay relay;
  TNotifySocket notify(relay.Dir() + "/notify");
  ASSERT_TRUE(notify.Bound());
  StartRelay(relay, {notify.Env(), "WATCHDOG_USEC"});
  EXPECT_EQ(notify.Next(10000), "READY=1\nSTATUS=" + StartLine("no MIDI output found"));
  EXPECT_TRUE(relay.Child().WaitIdle());
  EXPECT_EQ(notify.Next(1500), "");

  const std::string none =
      "received 0, played 0, dropped 0 (0 for their length, 0 for 0xFE, 0 with no output)";
  relay.Child().Signal(SIGUSR1);
  EXPECT_NE(relay.Child().Stderr(none, 10000).find("vorlanx: " + none + "\n"), std::string::npos);
  ASSERT_TRUE(FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64})));
  ASSERT_TRUE(FSender.Send(FPort, ""));
  ASSERT_TRUE(FSender.Send(FPort, Bytes({0x80, 0x3C, 0x00})));
  const std::string counts =
      "received 3, played 0, dropped 3 (1 for their length, 0 for 0xFE, 2 with no output), "
      "last from " +
      Sender();
  // A loaded machine may split them over two statuses.
  const std::string expected = "STATUS=" + StartLine("no MIDI output found") + "; " + counts;
  std::string got = notify.Next(10000);
  for (int i = 0; i < 2 && got.rfind("STATUS=", 0) == 0 && got != expected; ++i)
    got = notify.Next(10000);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(notify.Next(1500), "");

  relay.Child().Signal(SIGUSR1);
  relay.Child().Stderr(counts, 10000);
  relay.Child().Signal(SIGTERM);
  EXPECT_EQ(notify.Next(10000), "STOPPING=1");
  int status = relay.Child().Wait(10000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(relay.Child().Stderr(), "vorlanx: " + StartLine("no MIDI output found") +
                                        "\nvorlanx: " + none + "\nvorlanx: " + counts +
                                        "\nvorlanx: stopped\n");
}

}  // namespace
