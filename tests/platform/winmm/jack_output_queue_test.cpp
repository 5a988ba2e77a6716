// The output queue as the process callback plays it, driven by a client of
// the test's own on a private JACK server, so that a test decides when cycles
// see what was queued (some servers run no cycles for a client linked to
// nothing, and play what waited only once it is linked again).
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/winmm/linux/JackSession.h"
#include "tests/support/JackTest.h"

namespace {

using Bytes = std::vector<uint8_t>;

class JackOutputQueueTest : public testing::Test {
 protected:
  void SetUp() override {
    VORLANX_REQUIRE_PRIVATE_SHM();
    std::string error;
    ASSERT_TRUE(FServer.Start(256, 48000, &error)) << error;
    ASSERT_TRUE(FSynth.Open("synth", {"in"}, &error)) << error;
    FClient = jack_client_open("queue-test", JackNoStartServer, nullptr);
    ASSERT_NE(FClient, nullptr);
    FQueue.Port = jack_port_register(FClient, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_NE(FQueue.Port, nullptr);
    jack_set_process_callback(FClient, &Process, this);
  }
  void TearDown() override {
    if (FClient != nullptr) jack_client_close(FClient);
  }
  static int Process(jack_nframes_t Frames, void* Arg) {
    auto* self = static_cast<JackOutputQueueTest*>(Arg);
    if (self->FPlaying.load(std::memory_order_acquire))
      self->FQueue.Play(static_cast<uint32_t>(jack_get_time()), Frames,
                        jack_get_sample_rate(self->FClient));
    return 0;
  }
  void Queue(uint32_t StampUs, uint8_t Note) {
    ASSERT_TRUE(FQueue.Ring.Push(winmm::StampedMessage{StampUs, 3, {0x90, Note, 0x40}}));
  }
  static uint32_t Now() { return static_cast<uint32_t>(jack_get_time()); }

  testjack::TJackServer FServer;
  testjack::TMidiReceiver FSynth;
  jack_client_t* FClient = nullptr;
  winmm::JackOutputQueue FQueue;
  std::atomic<bool> FPlaying{false};
};

// A message queued before the destination came back is dropped when the
// queue is told to wait for the new connection; what comes after plays.
TEST_F(JackOutputQueueTest, WhatWaitedForTheDestinationThatWentIsNotPlayedOnTheNewOne) {
  const uint32_t before = Now();
  Queue(before, 60);
  FQueue.WaitForConnectionAgain(before + 1);
  ASSERT_EQ(jack_activate(FClient), 0);
  ASSERT_EQ(jack_connect(FClient, "queue-test:out", FSynth.PortName(0).c_str()), 0);
  ASSERT_TRUE(FSynth.WaitConnections(0, 1));
  FPlaying.store(true, std::memory_order_release);
  Queue(Now(), 61);
  std::vector<Bytes> heard;
  for (const testjack::TMidiEvent& e : FSynth.Wait(1, 5000)) heard.push_back(e.Data());
  for (const testjack::TMidiEvent& e : FSynth.Settle()) heard.push_back(e.Data());
  EXPECT_EQ(heard, (std::vector<Bytes>{{0x90, 61, 0x40}}));
}

}  // namespace
