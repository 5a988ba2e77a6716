// The registry on a real (private) JACK server, checked from a receiving client.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi/Midi.h"
#include "rtl/SysUtils.h"
#include "tests/support/JackTest.h"

using testjack::TMidiEvent;
using testjack::TMidiReceiver;
using Bytes = std::vector<uint8_t>;

namespace {

const char kInvalidParameter[] = "An invalid parameter was passed to a system function.";
const char kNoDriver[] =
    "The MIDI driver is not available.  Make sure the sound server is running, and then try again.";

std::vector<std::string> DeviceNames(const TMidiOutput& Out) {
  std::vector<std::string> names;
  for (int i = 0; i < Out.FDevices.Count(); ++i) names.push_back(Out.FDevices.Strings(i));
  return names;
}

int IndexOf(const TMidiOutput& Out, const std::string& Name) {
  for (int i = 0; i < Out.FDevices.Count(); ++i)
    if (Out.FDevices.Strings(i) == Name) return i;
  return -1;
}

std::string MessageOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

class JackOutputTest : public testing::Test {
 protected:
  void SetUp() override {
    VORLANX_REQUIRE_PRIVATE_SHM();
    std::string error;
    ASSERT_TRUE(FServer.Start(256, 48000, &error)) << error;
    ASSERT_TRUE(FSynth.Open("synth", {"in_a", "in_b"}, &error)) << error;
  }
  void TearDown() override {
    FinalizeMidiOutput();
    FSynth.Close();
  }

  // A fresh registry (the device list is taken when it is built).
  std::unique_ptr<TMidiOutput> Registry() { return std::unique_ptr<TMidiOutput>(new TMidiOutput); }

  testjack::TJackServer FServer;
  TMidiReceiver FSynth;
};

TEST_F(JackOutputTest, DevicesAreTheMidiInputsOfOtherClientsInServerOrder) {
  std::string error;
  TMidiReceiver drum;
  ASSERT_TRUE(drum.Open("drum", {"in", "a_port_name_longer_than_the_name_field"}, &error)) << error;
  // Neither audio inputs nor MIDI outputs are destinations.
  ASSERT_NE(
      jack_port_register(drum.Client(), "audio_in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0),
      nullptr);
  ASSERT_NE(
      jack_port_register(drum.Client(), "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0),
      nullptr);

  std::vector<std::string> expected;
  const char** ports =
      jack_get_ports(drum.Client(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  ASSERT_NE(ports, nullptr);
  for (const char** p = ports; *p != nullptr; ++p) expected.push_back(ShortenMiddle(*p, 32));
  jack_free(ports);
  ASSERT_EQ(expected.size(), 4u);

  auto out = Registry();
  EXPECT_EQ(DeviceNames(*out), expected);
  EXPECT_GE(IndexOf(*out, "synth:in_a"), 0);
  EXPECT_GE(IndexOf(*out, "drum:in"), 0);
  // Start and end of a long name, in the 32 bytes of the name field.
  EXPECT_GE(IndexOf(*out, "drum:a_port_nam\xE2\x80\xA6the_name_field"), 0);

  // Our own output ports never show up as devices.
  out->OpenDevice(0);
  EXPECT_EQ(DeviceNames(*Registry()), expected);
}

TEST_F(JackOutputTest, OpenConnectsAndCloseDisconnects) {
  auto out = Registry();
  int b = IndexOf(*out, "synth:in_b");
  ASSERT_GE(b, 0);

  out->OpenDevice(b);
  ASSERT_NE(out->DeviceHandle(b), nullptr);
  ASSERT_TRUE(FSynth.WaitConnections(1, 1));
  std::vector<std::string> connected = FSynth.Connections(1);
  ASSERT_EQ(connected.size(), 1u);
  EXPECT_EQ(connected[0].rfind("vorlanx:", 0), 0u) << connected[0];
  EXPECT_TRUE(FSynth.Connections(0).empty());
  jack_port_t* ours = jack_port_by_name(FSynth.Client(), connected[0].c_str());
  ASSERT_NE(ours, nullptr);
  EXPECT_TRUE(jack_port_flags(ours) & JackPortIsOutput);

  out->CloseDevice(b);
  EXPECT_EQ(out->DeviceHandle(b), nullptr);
  EXPECT_TRUE(FSynth.WaitConnections(1, 0));
  // Unregistered (which this client, too, learns of a moment later).
  bool gone = false;
  for (int i = 0; i < 1000 && !gone; ++i) {
    gone = jack_port_by_name(FSynth.Client(), connected[0].c_str()) == nullptr;
    if (!gone) usleep(10000);
  }
  EXPECT_TRUE(gone);

  EXPECT_EQ(MessageOf([&] { out->CloseDevice(b); }), "The specified device handle is invalid.");

  // A destination that vanished since the enumeration cannot be opened.
  FSynth.Close();
  EXPECT_EQ(MessageOf([&] { out->OpenDevice(b); }),
            "The MIDI device was not found.  It may have been removed or renamed; choose another "
            "device.");
  EXPECT_EQ(out->DeviceHandle(b), nullptr);
}

// Patchbay rules match on our port's name: the first open device is always
// "vorlanx:out", a second one open at the same time "vorlanx:out_2".
TEST_F(JackOutputTest, OutputPortNamesAreStable) {
  auto out = Registry();
  int a = IndexOf(*out, "synth:in_a");
  int b = IndexOf(*out, "synth:in_b");
  // The synth learns of a change a moment later: until then it may still show
  // what was there before.
  auto connectedTo = [&](int Input, const std::string& Expected) {
    std::vector<std::string> c;
    for (int i = 0;
         i < 1000 && (c = FSynth.Connections(Input)) != std::vector<std::string>{Expected}; ++i)
      usleep(10000);
    return c;
  };
  for (int round = 0; round < 3; ++round) {
    out->OpenDevice(a);
    EXPECT_EQ(connectedTo(0, "vorlanx:out"), std::vector<std::string>{"vorlanx:out"}) << round;
    out->CloseDevice(a);
  }
  out->OpenDevice(a);
  out->OpenDevice(b);
  EXPECT_EQ(connectedTo(1, "vorlanx:out_2"), std::vector<std::string>{"vorlanx:out_2"});
  out->CloseDevice(a);
  out->CloseDevice(b);
  out->OpenDevice(b);
  EXPECT_EQ(connectedTo(1, "vorlanx:out"), std::vector<std::string>{"vorlanx:out"});
}

TEST_F(JackOutputTest, BytesOnTheWire) {
  auto out = Registry();
  int a = IndexOf(*out, "synth:in_a");
  ASSERT_GE(a, 0);

  out->SendShortMessage(a, 0x90, 0x3C, 0x64);  // opens the device
  EXPECT_NE(out->DeviceHandle(a), nullptr);
  out->SendShortMessage(a, 0xC0, 0x05, 0x00);  // program change: two bytes, never three
  out->SendShortMessage(a, 0xF8, 0x00, 0x00);  // real-time: one byte
  out->SendShortMessage(a, 0x3E, 0x40,
                        0x00);  // running status: the program change's, past the real-time byte
  out->SendShortMessage(a, 0x91, 0x3C, 0x00);
  out->SendShortMessage(a, 0x3E, 0x40, 0x77);  // running status of note-on: third byte ignored
  out->SendShortMessage(a, 0xE0, 0x80, 0xFF);  // data bytes pass as they are

  std::vector<TMidiEvent> got = FSynth.Wait(7, 15000);
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(got[0].Data(), (Bytes{0x90, 0x3C, 0x64}));
  EXPECT_EQ(got[1].Data(), (Bytes{0xC0, 0x05}));
  EXPECT_EQ(got[2].Data(), (Bytes{0xF8}));
  EXPECT_EQ(got[3].Data(), (Bytes{0xC0, 0x3E}));
  EXPECT_EQ(got[4].Data(), (Bytes{0x91, 0x3C, 0x00}));
  EXPECT_EQ(got[5].Data(), (Bytes{0x91, 0x3E, 0x40}));
  EXPECT_EQ(got[6].Data(), (Bytes{0xE0, 0x80, 0xFF}));
  for (const TMidiEvent& e : got) EXPECT_EQ(e.Port, 0);
  EXPECT_TRUE(FSynth.Settle().empty());
}

TEST_F(JackOutputTest, InvalidMessagesFailAndSendNothing) {
  auto out = Registry();
  int a = IndexOf(*out, "synth:in_a");
  int b = IndexOf(*out, "synth:in_b");
  // Running status on a device that has sent no status yet.
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(a, 0x3C, 0x40, 0x00); }), kInvalidParameter);
  EXPECT_EQ(out->FLastResult, 11);
  out->SendShortMessage(b, 0x90, 0x3C, 0x40);  // status on another device does not count
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(a, 0x3C, 0x40, 0x00); }), kInvalidParameter);
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(a, 0xF0, 0x7E, 0x00); }), kInvalidParameter);
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(a, 0xF7, 0x00, 0x00); }), kInvalidParameter);

  out->SendShortMessage(a, 0x80, 0x3C, 0x00);  // the device still works
  std::vector<TMidiEvent> got = FSynth.Wait(2, 15000);
  ASSERT_EQ(got.size(), 2u);
  std::sort(got.begin(), got.end(),
            [](const TMidiEvent& x, const TMidiEvent& y) { return x.Port < y.Port; });
  EXPECT_EQ(got[0].Data(), (Bytes{0x80, 0x3C, 0x00}));
  EXPECT_EQ(got[1].Data(), (Bytes{0x90, 0x3C, 0x40}));
  EXPECT_TRUE(FSynth.Settle().empty());
}

TEST_F(JackOutputTest, CloseRightAfterSendingStillPlaysTheMessage) {
  auto out = Registry();
  int a = IndexOf(*out, "synth:in_a");
  out->SendShortMessage(a, 0x90, 0x40, 0x7F);
  out->CloseDevice(a);
  std::vector<TMidiEvent> got = FSynth.Wait(1, 15000);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Data(), (Bytes{0x90, 0x40, 0x7F}));
}

// The server takes up a new connection a cycle or more after the call that
// made it returned (later still on a loaded machine); a message sent at once
// must wait for it rather than play to nobody. The close ends the note after it.
TEST_F(JackOutputTest, MessageSentRightAfterOpeningArrives) {
  auto out = Registry();
  int a = IndexOf(*out, "synth:in_a");
  for (uint8_t round = 0; round < 30; ++round) {
    out->SendShortMessage(a, 0x90, round, 0x40);
    out->CloseDevice(a);
    std::vector<TMidiEvent> got = FSynth.Wait(2, 15000);
    ASSERT_EQ(got.size(), 2u) << "round " << int(round);
    EXPECT_EQ(got[0].Data(), (Bytes{0x90, round, 0x40}));
    EXPECT_EQ(got[1].Data(), (Bytes{0x80, round, 0x40}));
  }
}

// Each message plays one period after the call, at the matching position in
// the cycle (counted from when the cycles' callbacks run), rather than at the
// start of the next cycle; and never before that.
TEST_F(JackOutputTest, MessagesPlayOnePeriodAfterTheCall) {
  auto out = Registry();
  int a = IndexOf(*out, "synth:in_a");
  out->OpenDevice(a);
  const int kCount = 40;
  const double kPeriodUs = 256 * 1e6 / 48000;
  // A loaded machine delays cycles, and the receiver's callback behind ours,
  // now and then; every message of such a cycle plays late. The rule shows in
  // the bulk of a round the machine kept up with: rounds go on (for at most
  // 30 s) until there was one. Early is wrong in every round.
  int bestOnTime = 0;
  size_t bestPositions = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((bestOnTime < kCount * 3 / 4 || bestPositions <= kCount / 2) &&
         std::chrono::steady_clock::now() < deadline) {
    std::vector<jack_time_t> stamps;
    for (int i = 0; i < kCount; ++i) {
      stamps.push_back(jack_get_time());
      out->SendShortMessage(a, 0x90, static_cast<uint8_t>(i), 0x40);
      usleep(1300);
    }
    std::vector<TMidiEvent> got = FSynth.Wait(kCount, 10000);
    ASSERT_EQ(got.size(), static_cast<size_t>(kCount));
    int onTime = 0;
    std::vector<jack_nframes_t> positions;
    for (int i = 0; i < kCount; ++i) {
      ASSERT_EQ(got[i].Bytes[1], i);
      const double visibleUs = static_cast<double>(got[i].CycleUsecs) + got[i].Offset * 1e6 / 48000;
      const double lateUs = visibleUs - static_cast<double>(stamps[i]) - kPeriodUs;
      // Early by at most the rounding down to a frame and the receiver's own
      // clock reading, which comes before ours in its callback.
      EXPECT_GT(lateUs, -2 * 1e6 / 48000) << "message " << i << " plays early";
      if (lateUs < 500) ++onTime;
      positions.push_back(got[i].Offset);
    }
    std::sort(positions.begin(), positions.end());
    bestOnTime = std::max(bestOnTime, onTime);
    bestPositions = std::max(
        bestPositions,
        static_cast<size_t>(std::unique(positions.begin(), positions.end()) - positions.begin()));
  }
  EXPECT_GE(bestOnTime, kCount * 3 / 4);
  EXPECT_GT(bestPositions, static_cast<size_t>(kCount / 2))
      << "messages are quantised to a few positions in the cycle";
}

// A burst far larger than one cycle can carry: every message the call accepted
// arrives, once and in order; the others were refused with an error, none lost.
TEST_F(JackOutputTest, FloodArrivesCompleteAndInOrder) {
  auto out = Registry();
  int a = IndexOf(*out, "synth:in_a");
  out->OpenDevice(a);
  const uint32_t kCount = 100000;
  uint32_t accepted = 0;
  unsigned refused = 0;
  for (uint32_t i = 0; i < kCount; ++i) {
    try {
      out->SendShortMessage(a, static_cast<uint8_t>(0x90 | (accepted >> 14 & 0x0F)),
                            accepted & 0x7F, accepted >> 7 & 0x7F);
      ++accepted;
    } catch (const Exception& e) {
      ASSERT_EQ(
          e.Message(),
          "The port is transmitting data to the device.  Wait until the data has been transmitted, "
          "and then try again.");
      ++refused;
    }
  }
  std::vector<TMidiEvent> got = FSynth.Wait(accepted, 20000);
  ASSERT_EQ(got.size(), accepted) << refused << " refused";
  for (uint32_t i = 0; i < accepted; ++i) {
    uint32_t seq = (got[i].Bytes[0] & 0x0Fu) << 14 | got[i].Bytes[2] << 7 | got[i].Bytes[1];
    ASSERT_EQ(seq, i);
  }
  EXPECT_TRUE(FSynth.Settle().empty());
  EXPECT_EQ(FSynth.Overflows(), 0u);
}

TEST_F(JackOutputTest, ServerKilledWhileADeviceIsOpen) {
  auto out = Registry();
  int a = IndexOf(*out, "synth:in_a");
  out->SendShortMessage(a, 0x90, 0x3C, 0x40);
  ASSERT_EQ(FSynth.Wait(1, 15000).size(), 1u);
  FSynth.Close();
  FServer.Kill();

  // The layer learns of the loss asynchronously (perhaps first that the
  // synthesiser's port went); from then on every send fails.
  std::string message;
  for (int i = 0; i < 500 && message != kNoDriver; ++i) {
    message = MessageOf([&] { out->SendShortMessage(a, 0x90, 0x3C, 0x40); });
    if (message != kNoDriver) usleep(10000);
  }
  EXPECT_EQ(message, kNoDriver);
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(a, 0x80, 0x3C, 0x40); }), kNoDriver);
  EXPECT_EQ(out->FLastResult, 6);

  // Closing releases the dead device; opening it again fails with the same text.
  out->CloseDevice(a);
  EXPECT_EQ(out->DeviceHandle(a), nullptr);
  EXPECT_EQ(MessageOf([&] { out->OpenDevice(a); }), kNoDriver);
  EXPECT_EQ(MessageOf([&] { out->SendShortMessage(a, 0x90, 0x3C, 0x40); }), kNoDriver);
  EXPECT_EQ(Registry()->FDevices.Count(), 0);

  // A new server is found again.
  std::string error;
  ASSERT_TRUE(FServer.Start(256, 48000, &error)) << error;
  ASSERT_TRUE(FSynth.Open("synth", {"in_a"}, &error)) << error;
  auto again = Registry();
  ASSERT_EQ(DeviceNames(*again), std::vector<std::string>{"synth:in_a"});
  again->SendShortMessage(0, 0x90, 0x3C, 0x41);
  std::vector<TMidiEvent> got = FSynth.Wait(1, 15000);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Data(), (Bytes{0x90, 0x3C, 0x41}));
}

}  // namespace
