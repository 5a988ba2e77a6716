// The relay finds its output again: a JACK server restarted under traffic, a
// relay started before any server, and devices remembered by name.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/app/DumpSynth.h"

namespace {

using namespace relaytest;
using testjack::TMidiEvent;

class DeviceRecovery : public TRelayTest {
 protected:
  std::string Settings(const std::string& Device) {
    FPort = FreeUdpPort();
    return "[Data]\nAdress=127.0.0.1\nPort=" + std::to_string(FPort) + "\n" + Device;
  }
  // Sends a note every 50 ms until input Index of synth is connected (at most 15 s).
  bool SendUntilConnected(int Index) {
    for (int i = 0; i < 300; ++i) {
      if (FSynth.WaitConnections(Index, 1, 0)) return true;
      FSender.Send(FPort, Bytes({0xF8, 0x00, 0x00}));
      if (FSynth.WaitConnections(Index, 1, 50)) return true;
    }
    return false;
  }
  // Sends Count distinct notes, paced, and expects each exactly once, in order.
  void ExpectEachNoteOnce(int Input, int Count) {
    FSynth.Settle();  // clock bytes of the search
    for (int i = 0; i < Count; ++i) {
      ASSERT_TRUE(FSender.Send(FPort, Bytes({0x90, i & 0x7F, (i >> 7) + 1})));
      if (i % 20 == 19) usleep(5000);
    }
    std::vector<TMidiEvent> got = FSynth.Wait(Count, 10000);
    std::vector<TMidiEvent> more = FSynth.Settle();
    got.insert(got.end(), more.begin(), more.end());
    std::vector<TMidiEvent> notes;
    std::copy_if(got.begin(), got.end(), std::back_inserter(notes),
                 [](const TMidiEvent& e) { return e.Bytes[0] == 0x90; });
    ASSERT_EQ(notes.size(), static_cast<size_t>(Count)) << "notes lost or played twice";
    for (int i = 0; i < Count; ++i) {
      EXPECT_EQ(notes[i].Port, Input);
      ASSERT_EQ(notes[i].Bytes[1] | (notes[i].Bytes[2] - 1) << 7, i) << "note " << i;
    }
  }

  uint16_t FPort = 0;
};

TEST_F(DeviceRecovery, AServerRestartedUnderTrafficIsFoundAgainAndPlaysEveryNoteOnce) {
  TRelay relay;
  relay.WriteFile("VORLANX.INI", Settings(""));
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  ASSERT_TRUE(WaitConnected(0));
  ExpectRelayed(FPort, Bytes({0x90, 0x3C, 0x64}));

  // The synthesiser goes first, while the server stays; then the server.
  FSynth.Close();
  std::string err = relay.Child().Stderr("(its port went away)", 10000);
  ASSERT_EQ(CountOf(err, "vorlanx: lost the MIDI output synth:in_a (its port went away)"), 1u)
      << err;
  FServer.Kill();
  // The loss is said once, however many datagrams keep coming.
  const std::string serverLost = "vorlanx: lost the MIDI output synth:in_a (its server went away)";
  for (int i = 0; i < 300 && CountOf(err, serverLost) == 0; ++i) {
    FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64}));
    err = relay.Child().Stderr(serverLost, 50);
  }
  ASSERT_EQ(CountOf(err, serverLost), 1u) << err;
  for (int i = 0; i < 30; ++i) FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64}));

  std::string error;
  ASSERT_TRUE(FServer.Restart(&error)) << error;
  ASSERT_TRUE(FSynth.Open("synth", {"in_a", "in_b"}, &error)) << error;
  // No datagram, no look: an idle relay does not reconnect on its own.
  EXPECT_FALSE(FSynth.WaitConnections(0, 1, 1500));
  ASSERT_TRUE(SendUntilConnected(0)) << relay.Child().Stderr();
  EXPECT_EQ(FSynth.Connections(0), std::vector<std::string>{"vorlanx:out"});
  ExpectEachNoteOnce(0, 300);

  ASSERT_NE(relay.Stop(), -1);
  err = relay.Child().Stderr();
  EXPECT_EQ(CountOf(err, "lost the MIDI output"), 2u) << err;
  EXPECT_EQ(CountOf(err, "vorlanx: playing on synth:in_a\n"), 1u) << err;
  for (size_t at = 0, end; (end = err.find('\n', at)) != std::string::npos; at = end + 1)
    EXPECT_EQ(err.compare(at, 9, "vorlanx: "), 0) << err;
}

// The synthesiser, a process of its own, killed and started again three times
// while the server stays.
TEST_F(DeviceRecovery, ASynthesiserKilledAndStartedAgainIsPlayedOnAgainEachTime) {
  TDumpSynth piano;
  ASSERT_TRUE(piano.Start("piano"));
  TRelay relay;
  relay.WriteFile("VORLANX.INI", Settings("MIDI-Out-Name=piano:input\n"));
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  piano.ExpectEachNoteOnce(FSender, FPort, 50);
  ExpectSynthRestartsFollowed(relay, piano, FSender, FPort, "piano", 3);
  ASSERT_NE(relay.Stop(), -1);
  EXPECT_TRUE(FSynth.Settle().empty()) << "played on another device";
}

// Before any server: it says so, and plays once the stored device (by its
// name, which wins over the stored index) is there.
TEST_F(DeviceRecovery, StartedBeforeAnyServerItPlaysOnceTheNamedDeviceIsThere) {
  FSynth.Close();
  FServer.Stop();
  TRelay relay;
  relay.WriteFile("VORLANX.INI", Settings("MIDI-Out=0\nMIDI-Out-Name=synth:in_b\n"));
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  EXPECT_NE(relay.Child().Stderr("no MIDI output found", 5000).find("no MIDI output found"),
            std::string::npos);
  for (int i = 0; i < 5; ++i) FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64}));

  std::string error;
  ASSERT_TRUE(FServer.Restart(&error)) << error;
  ASSERT_TRUE(FSynth.Open("synth", {"in_a", "in_b"}, &error)) << error;
  ASSERT_TRUE(SendUntilConnected(1)) << relay.Child().Stderr();
  EXPECT_TRUE(FSynth.Connections(0).empty());
  ExpectEachNoteOnce(1, 50);
  ASSERT_NE(relay.Stop(), -1);
  EXPECT_EQ(CountOf(relay.Child().Stderr(), "vorlanx: playing on synth:in_b\n"), 1u)
      << relay.Child().Stderr();
  // The index written back is the device's current one.
  EXPECT_NE(relay.ReadFile().find("MIDI-Out=1\nMIDI-Out-Name=synth:in_b\n"), std::string::npos)
      << relay.ReadFile();
}

// A device named in the settings that is not there at start is waited for
// rather than another played on: datagrams meanwhile are dropped, and it is
// played on as soon as it appears, with no datagram needed to find it.
TEST_F(DeviceRecovery, ANamedDeviceNotThereAtStartIsPlayedOnAsSoonAsItAppears) {
  TRelay relay;
  relay.WriteFile("VORLANX.INI", Settings("MIDI-Out=1\nMIDI-Out-Name=later:in\n"));
  ASSERT_TRUE(relay.Start());
  ASSERT_TRUE(relay.WaitBound("127.0.0.1", FPort));
  EXPECT_NE(relay.Child().Stderr("waiting for", 5000).find(", waiting for later:in\n"),
            std::string::npos)
      << relay.Child().Stderr();
  for (int i = 0; i < 5; ++i) FSender.Send(FPort, Bytes({0x90, 0x3C, 0x64}));
  EXPECT_TRUE(FSynth.Settle().empty());
  EXPECT_TRUE(FSynth.Connections(1).empty()) << "played on the device of the stored index";

  testjack::TMidiReceiver later;
  std::string error;
  ASSERT_TRUE(later.Open("later", {"in"}, &error)) << error;
  ASSERT_TRUE(later.WaitConnections(0, 1)) << relay.Child().Stderr();
  ASSERT_TRUE(FSender.Send(FPort, Bytes({0x90, 0x3E, 0x64})));
  std::vector<TMidiEvent> got = later.Wait(1, 5000);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Data(), (std::vector<uint8_t>{0x90, 0x3E, 0x64}));
  EXPECT_TRUE(FSynth.Settle().empty());
  ASSERT_NE(relay.Stop(), -1);
  EXPECT_EQ(CountOf(relay.Child().Stderr(), "vorlanx: playing on later:in\n"), 1u)
      << relay.Child().Stderr();
  EXPECT_NE(relay.ReadFile().find("MIDI-Out=2\nMIDI-Out-Name=later:in\n"), std::string::npos)
      << relay.ReadFile();
}

}  // namespace
