// An open device whose destination goes away and comes back while the server
// stays, and what a reset sends: on a private JACK server, as a receiving
// client sees it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/winmm/winmm.h"
#include "tests/support/JackTest.h"

using namespace winmm;
using Bytes = std::vector<uint8_t>;

namespace {

class JackDestination : public testing::Test {
 protected:
  void SetUp() override {
    VORLANX_REQUIRE_PRIVATE_SHM();
    std::string error;
    ASSERT_TRUE(FServer.Start(256, 48000, &error)) << error;
    ASSERT_TRUE(FSynth.Open("synth", {"in"}, &error)) << error;
    ASSERT_TRUE(midiOutNotifyChanges(&Count, &FNotes));
    ASSERT_EQ(midiOutGetNumDevs(), 1u);
    ASSERT_EQ(midiOutOpen(&FOut, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_TRUE(FSynth.WaitConnections(0, 1));
  }
  void TearDown() override {
    midiOutNotifyChanges(nullptr, nullptr);
    if (FOut != nullptr) midiOutClose(FOut);
  }

  static void Count(void* Notes) { ++*static_cast<std::atomic<int>*>(Notes); }
  // Waits until the service has said something more than Before.
  bool Notified(int Before) {
    for (int i = 0; i < 1000 && FNotes.load() <= Before; ++i) usleep(10000);
    return FNotes.load() > Before;
  }
  // The synthesiser goes (its client closes) and is told to us.
  void SynthGoes() {
    const int before = FNotes.load();
    FSynth.Close();
    ASSERT_TRUE(Notified(before));
  }
  void SynthComes() {
    const int before = FNotes.load();
    std::string error;
    ASSERT_TRUE(FSynth.Open("synth", {"in"}, &error)) << error;
    ASSERT_TRUE(Notified(before));
  }
  // Count events, waited for (bounded), and whatever more arrives within the
  // suite's settle time.
  std::vector<Bytes> Heard(size_t Count) {
    std::vector<Bytes> got;
    for (const testjack::TMidiEvent& e : FSynth.Wait(Count, 5000)) got.push_back(e.Data());
    for (const testjack::TMidiEvent& e : FSynth.Settle()) got.push_back(e.Data());
    return got;
  }
  // Sends a message and expects it to arrive alone.
  void ExpectPlayed(DWORD Message) {
    ASSERT_EQ(midiOutShortMsg(FOut, Message), MMSYSERR_NOERROR);
    const Bytes sent = {uint8_t(Message), uint8_t(Message >> 8), uint8_t(Message >> 16)};
    EXPECT_EQ(Heard(1), std::vector<Bytes>{sent});
  }

  testjack::TJackServer FServer;
  testjack::TMidiReceiver FSynth;
  std::atomic<int> FNotes{0};
  HMIDIOUT FOut = nullptr;
};

TEST_F(JackDestination, AGoneDestinationRefusesAndOneOfTheSameNameIsConnectedAgain) {
  ExpectPlayed(0x00643C90);
  SynthGoes();
  // The send finds out by itself, before anybody looked.
  EXPECT_EQ(midiOutShortMsg(FOut, 0x00643C90), MIDIERR_NODEVICE);
  DWORD losses = 0;
  EXPECT_EQ(midiOutCheckDestination(FOut, &losses), MIDIERR_NODEVICE);
  EXPECT_EQ(losses, 1u);
  EXPECT_EQ(midiOutShortMsg(FOut, 0x00643C90), MIDIERR_NODEVICE);

  SynthComes();
  ASSERT_EQ(midiOutCheckDestination(FOut, &losses), MMSYSERR_NOERROR);
  EXPECT_EQ(losses, 1u);
  // At once: the message waits for the new connection rather than reach nobody.
  ExpectPlayed(0x00643D90);
  EXPECT_EQ(FSynth.Connections(0), std::vector<std::string>{"vorlanx:out"});
  ASSERT_EQ(midiOutCheckDestination(FOut, &losses), MMSYSERR_NOERROR);
  EXPECT_EQ(losses, 1u);

  // Gone and back before anybody looked (the program was busy): the next
  // look finds the connection broken, counts the loss and connects again.
  const auto settled = std::chrono::steady_clock::now() + std::chrono::milliseconds(1100);
  while (std::chrono::steady_clock::now() < settled) usleep(20000);
  SynthGoes();
  SynthComes();
  ASSERT_EQ(midiOutCheckDestination(FOut, &losses), MMSYSERR_NOERROR);
  EXPECT_EQ(losses, 2u);
  ExpectPlayed(0x00643E90);
}

TEST_F(JackDestination, AResetEndsTheHeldNotesThenThePedalsAndAGoneDestinationGetsNothing) {
  for (DWORD m : {0x00643C90u, 0x00644091u, 0x007F40B1u, 0x00643E90u, 0x00003E80u, 0x007F40B0u,
                  0x000040B0u, 0x00403C90u})
    ASSERT_EQ(midiOutShortMsg(FOut, m), MMSYSERR_NOERROR);
  EXPECT_EQ(Heard(8).size(), 8u);
  ASSERT_EQ(midiOutReset(FOut), MMSYSERR_NOERROR);
  EXPECT_EQ(Heard(3), (std::vector<Bytes>{{0x80, 0x3C, 0x40}, {0x81, 0x40, 0x40},
                                            {0xB1, 0x40, 0x00}}));
  ASSERT_EQ(midiOutReset(FOut), MMSYSERR_NOERROR);
  EXPECT_TRUE(Heard(0).empty()) << "ended twice";

  // A destination gone gets nothing, not even later, once it is back.
  ASSERT_EQ(midiOutShortMsg(FOut, 0x00643C90), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(FOut, 0x007F40B0), MMSYSERR_NOERROR);
  SynthGoes();
  EXPECT_EQ(midiOutReset(FOut), MMSYSERR_NOERROR);
  SynthComes();
  ASSERT_EQ(midiOutCheckDestination(FOut, nullptr), MMSYSERR_NOERROR);
  ASSERT_TRUE(FSynth.WaitConnections(0, 1));
  EXPECT_TRUE(Heard(0).empty());

  // What the synthesiser held went with it: the one that comes back is sent
  // no note-off for it.
  ExpectPlayed(0x00643C90);
  SynthGoes();
  EXPECT_EQ(midiOutShortMsg(FOut, 0x00643D90), MIDIERR_NODEVICE);
  SynthComes();
  ASSERT_EQ(midiOutCheckDestination(FOut, nullptr), MMSYSERR_NOERROR);
  ASSERT_TRUE(FSynth.WaitConnections(0, 1));
  EXPECT_EQ(midiOutReset(FOut), MMSYSERR_NOERROR);
  ExpectPlayed(0x00403C80);
}

}  // namespace
