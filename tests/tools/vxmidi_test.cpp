// vxmidi against a private JACK server: the list is the relay's numbering with
// both names, a test note reaches the chosen input whichever way it is named,
// and failures carry the registry's own texts.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ScratchDirTest.h"
#include "StreamPeer.h"
#include "midi/Midi.h"
#include "tests/support/JackTest.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char kLongPort[] = "a_port_name_longer_than_the_name_field";

class Vxmidi : public ScratchDirTest {
 protected:
  Vxmidi() : ScratchDirTest("vxmidi-test") {}
  void SetUp() override {
    ScratchDirTest::SetUp();
    VORLANX_REQUIRE_PRIVATE_SHM();
    std::string error;
    ASSERT_TRUE(FServer.Start(256, 48000, &error)) << error;
    ASSERT_TRUE(FSynth.Open("synth", {"in_a", "in_b"}, &error)) << error;
    ASSERT_TRUE(FDrum.Open("drum", {kLongPort}, &error)) << error;
  }
  void TearDown() override {
    FinalizeMidiOutput();
    FDrum.Close();
    FSynth.Close();
    ScratchDirTest::TearDown();
  }
  // Runs vxmidi to its end (bounded); its exit status, output in "out" and "err".
  int Run(const std::vector<std::string>& Args) {
    std::vector<std::string> argv{VXMIDI_PATH};
    argv.insert(argv.end(), Args.begin(), Args.end());
    streampeer::Child child(argv, "/dev/null", Path("out"), Path("err"));
    return child.Wait(30000);
  }
  // The messages that reached input Port of To (those of other inputs are dropped).
  std::vector<Bytes> Received(testjack::TMidiReceiver& To, int Port) {
    std::vector<Bytes> got;
    for (const auto& e : To.Wait(2, 15000))
      if (e.Port == Port) got.push_back(e.Data());
    return got;
  }

  testjack::TJackServer FServer;
  testjack::TMidiReceiver FSynth, FDrum;
};

const std::vector<Bytes> kTestNote{{0x90, 60, 100}, {0x80, 60, 0}};

TEST_F(Vxmidi, ListsTheRelaysNumberingWithMenuAndFullNames) {
  ASSERT_EQ(Run({"--list"}), 0) << Read("err");
  // The numbering and names the relay's menu is built from.
  std::unique_ptr<TMidiOutput> registry(new TMidiOutput);
  ASSERT_GE(registry->FDevices.Count(), 3);
  std::istringstream lines(Read("out"));
  std::string line;
  int n = 0;
  bool sawLong = false;
  for (; std::getline(lines, line); ++n) {
    ASSERT_LT(n, registry->FDevices.Count()) << line;
    std::string number = line.substr(0, line.find('\t'));
    std::string rest = line.substr(line.find('\t') + 1);
    std::string menu = rest.substr(0, rest.find('\t'));
    std::string full = rest.substr(rest.find('\t') + 1);
    EXPECT_EQ(number, std::to_string(n));
    EXPECT_EQ(menu, registry->FDevices.Strings(n));
    if (full == std::string("drum:") + kLongPort) {
      sawLong = true;
      EXPECT_EQ(menu, "drum:a_port_nam\xE2\x80\xA6the_name_field");
    } else {
      EXPECT_EQ(full, menu);
    }
  }
  EXPECT_EQ(n, registry->FDevices.Count());
  EXPECT_TRUE(sawLong) << Read("out");
}

TEST_F(Vxmidi, PlaysATestNoteOnTheDeviceNamedByNumberOrName) {
  std::unique_ptr<TMidiOutput> registry(new TMidiOutput);
  int inB = -1;
  for (int i = 0; i < registry->FDevices.Count(); ++i)
    if (registry->FDevices.Strings(i) == "synth:in_b") inB = i;
  ASSERT_GE(inB, 0);
  registry.reset();

  ASSERT_EQ(Run({"--play", std::to_string(inB)}), 0) << Read("err");
  EXPECT_EQ(Received(FSynth, 1), kTestNote);
  EXPECT_NE(Read("out").find("synth:in_b"), std::string::npos) << Read("out");

  ASSERT_EQ(Run({"--play=synth:in_a"}), 0) << Read("err");
  EXPECT_EQ(Received(FSynth, 0), kTestNote);

  // The long name in full, and as the menu shows it.
  ASSERT_EQ(Run({"--play", std::string("drum:") + kLongPort}), 0) << Read("err");
  EXPECT_EQ(Received(FDrum, 0), kTestNote);
  ASSERT_EQ(Run({"--play", "drum:a_port_nam\xE2\x80\xA6the_name_field"}), 0) << Read("err");
  EXPECT_EQ(Received(FDrum, 0), kTestNote);
  EXPECT_TRUE(FSynth.Settle().empty());
}

// Without a guard the note would hang on the synthesizer until someone stopped it.
TEST_F(Vxmidi, AnInterruptEndsTheNoteBeforeTheProgram) {
  for (int sig : {SIGINT, SIGTERM}) {
    streampeer::Child child({VXMIDI_PATH, "--play=synth:in_a", "--hold", "60000"}, "/dev/null",
                            Path("out"), Path("err"));
    auto next = [&] {
      std::vector<Bytes> got;
      for (const auto& e : FSynth.Wait(1, 15000)) got.push_back(e.Data());
      return got;
    };
    ASSERT_EQ(next(), std::vector<Bytes>{kTestNote[0]}) << Read("err");
    child.Kill(sig);
    EXPECT_EQ(child.Wait(15000), 130) << sig;
    EXPECT_EQ(next(), std::vector<Bytes>{kTestNote[1]}) << sig;
    EXPECT_EQ(Read("err"), "vxmidi: interrupted; the note on synth:in_a was ended\n");
    EXPECT_EQ(Read("out"), "");
  }
  EXPECT_EQ(Run({"--play", "0", "--hold", "0"}), 2);
  EXPECT_NE(Read("err").find("--hold takes 1 to 60000 milliseconds, not 0"), std::string::npos);
  EXPECT_EQ(Run({"--play=0", "--hold=x"}), 2);
  EXPECT_EQ(Run({"--play", "0", "--hold"}), 2);
}

TEST_F(Vxmidi, FailuresAndUsage) {
  EXPECT_EQ(Run({"--play", "99"}), 1);
  EXPECT_EQ(Read("err"), "vxmidi: TMidiOutput: Device index out of bounds! (99)\n");
  EXPECT_EQ(Run({"--play", "-1"}), 1);
  EXPECT_EQ(Read("err"), "vxmidi: TMidiOutput: Device index out of bounds! (-1)\n");
  EXPECT_EQ(Run({"--play", "nobody:in"}), 1);
  EXPECT_NE(Read("err").find("no MIDI output named \"nobody:in\""), std::string::npos);

  // With no server there are no JACK outputs (ALSA sequencer ports, where the
  // machine has any, are listed still), and the registry says the number is
  // out of bounds. A server name nobody uses: stopping ours would leave the
  // receivers on a dead server, which JACK's library cannot close.
  const std::string server = FServer.Name();
  setenv("JACK_DEFAULT_SERVER", "vxmidi-test-nobody", 1);
  const int listed = Run({"--list"});
  const std::string list = Read("out");
  const size_t left = static_cast<size_t>(std::count(list.begin(), list.end(), '\n'));
  const int played = Run({"--play", std::to_string(left)});
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  EXPECT_EQ(listed, 0);
  EXPECT_EQ(list.find("synth:"), std::string::npos) << list;
  EXPECT_EQ(played, 1);
  EXPECT_EQ(Read("err"),
            "vxmidi: TMidiOutput: Device index out of bounds! (" + std::to_string(left) + ")\n");

  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Run({"--play"}), 2);
  EXPECT_EQ(Run({"--list", "extra"}), 2);
  EXPECT_EQ(Run({"--volume"}), 2);
  EXPECT_NE(Read("err").find("unknown option --volume"), std::string::npos);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(Read("out").find("--play DEVICE"), std::string::npos);
}

}  // namespace
