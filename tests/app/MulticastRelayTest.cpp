// A sender that speaks to a multicast group reaches the relay directly: the
// real qmidinet sends what a JACK client plays into it to 225.0.0.37:21928,
// inside a network namespace of the test's own, and the relay, receiving on
// that group, plays it into the receiving client.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/app/MidiSource.h"
#include "tests/app/NetNamespace.h"
#include "tests/app/RelayProcess.h"

namespace {

using namespace relaytest;

constexpr const char* kQmidinet = "/usr/bin/qmidinet";

TEST_F(TRelayTest, AMulticastSenderReachesTheRelay) {
  if (::access(kQmidinet, X_OK) != 0) GTEST_SKIP() << "qmidinet is not installed";
  TNetNamespace ns;
  std::string error;
  if (!ns.Create(&error)) GTEST_SKIP() << error;

  TRelay relay;
  relay.Prefix = ns.Enter();
  relay.WriteFile("VORLANX.INI", "[Data]\nAdress=225.0.0.37\nPort=21928\n");
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("0.0.0.0", 21928)) << relay.Child().Stderr();
  ASSERT_TRUE(WaitConnected(0));
  EXPECT_EQ(relay.Child().Stderr("\n", 5000),
            "vorlanx: receiving on 225.0.0.37:21928, playing on synth:in_a\n");

  // qmidinet without its window, its settings in the relay's folder; it sends
  // on the group from the same port, shared with the relay.
  guitest::TChild qmidinet;
  std::vector<std::string> argv = ns.Enter();
  for (const char* a :
       {kQmidinet, "-g", "-a", "0", "-j", "1", "-u", "225.0.0.37", "-p", "21928", "-i", "lo"})
    argv.push_back(a);
  ASSERT_TRUE(qmidinet.Start(
      argv, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=offscreen", "HOME=" + relay.Dir(),
             "XDG_CONFIG_HOME=" + relay.Dir(), "XDG_RUNTIME_DIR=" + relay.Dir()}));
  TMidiSource keys;
  ASSERT_TRUE(keys.Open("keys", &error)) << error;
  std::string input;
  for (int i = 0; i < 500 && (input = keys.FindInput("^QmidiNet:")).empty(); ++i)
    ::usleep(20 * 1000);
  ASSERT_FALSE(input.empty()) << "qmidinet has no JACK MIDI input: " << qmidinet.Stderr();
  // Its ports take connections once its client is active, and it sends once
  // its socket is open.
  bool connected = false;
  for (int i = 0; i < 500 && !(connected = keys.Connect(input)); ++i) ::usleep(20 * 1000);
  ASSERT_TRUE(connected) << "cannot connect to " << input;
  bool open = false;
  for (int i = 0; i < 500 && !open; ++i) {
    for (const TUdpSocket& s : UdpSockets(qmidinet.Pid())) open = open || s.Port == 21928;
    if (!open) ::usleep(20 * 1000);
  }
  ASSERT_TRUE(open) << "qmidinet opened no socket on port 21928: " << qmidinet.Stderr();

  // Each message crosses as a datagram of its own; the relay plays those of
  // three bytes and drops the rest (a program change has two).
  const std::vector<std::string> played = {Bytes({0x90, 0x3C, 0x64}), Bytes({0xB0, 0x07, 0x50}),
                                           Bytes({0xE0, 0x00, 0x40}), Bytes({0x80, 0x3C, 0x00})};
  for (const std::string& m : played) {
    ASSERT_TRUE(keys.Play(m));
    std::vector<testjack::TMidiEvent> got = FSynth.Wait(1, 5000);
    ASSERT_EQ(got.size(), 1u) << "nothing arrived: " << qmidinet.Stderr();
    EXPECT_EQ(got[0].Port, 0);
    EXPECT_EQ(got[0].Data(), std::vector<uint8_t>(m.begin(), m.end()));
  }
  ASSERT_TRUE(keys.Play(Bytes({0xC0, 0x05})));
  ASSERT_TRUE(keys.Play(Bytes({0x90, 0x40, 0x64})));
  std::vector<testjack::TMidiEvent> got = FSynth.Wait(1, 5000);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Data(), (std::vector<uint8_t>{0x90, 0x40, 0x64}));
  EXPECT_TRUE(FSynth.Settle().empty()) << "something arrived twice";

  keys.Close();
  int status = relay.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_NE(relay.ReadFile().find("Adress=225.0.0.37\n"), std::string::npos);
}

}  // namespace
