#include "tests/app/DumpSynth.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace relaytest {

std::string Which(const std::string& Program) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t at = 0; at <= dirs.size();) {
    size_t end = dirs.find(':', at);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(at, end - at) + "/" + Program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return "";
}

bool TDumpSynth::Start(const std::string& ClientName) {
  std::vector<std::string> argv;
  for (const std::string& p : Prefix) argv.push_back(Which(p));
  argv.push_back(Which("jack_midi_dump"));
  argv.push_back(ClientName);
  FChild.reset(new guitest::TChild);
  return FChild->Start(argv, Env);
}

void TDumpSynth::Stop(bool Kill) {
  if (!FChild) return;
  FChild->Signal(Kill ? SIGKILL : SIGTERM);
  FChild->Wait(10000);
  FChild.reset();
}

std::vector<int> TDumpSynth::NextEvent(int TimeoutMs) {
  std::string line;
  while (FChild && FChild->ReadLine(line, TimeoutMs)) {
    std::vector<int> bytes;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    unsigned b[3];
    int n = std::sscanf(line.c_str() + colon + 1, " %2x %2x %2x", &b[0], &b[1], &b[2]);
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<int>(b[i]));
    if (!bytes.empty()) return bytes;
  }
  return {};
}

std::vector<int> TDumpSynth::NextNote(int TimeoutMs) {
  std::vector<int> e;
  do e = NextEvent(TimeoutMs);
  while (e == std::vector<int>{0xF8});
  return e;
}

bool TDumpSynth::SendUntilHeard(TSender& Sender, uint16_t Port) {
  for (int i = 0; i < 150; ++i) {
    Sender.Send(Port, Bytes({0xF8, 0x00, 0x00}));
    if (NextEvent(100) == std::vector<int>{0xF8}) return true;
  }
  return false;
}

void TDumpSynth::ExpectEachNoteOnce(TSender& Sender, uint16_t Port, int Count, int Velocity) {
  while (!NextEvent(200).empty()) {
  }
  ASSERT_TRUE(SendUntilHeard(Sender, Port));
  for (int i = 0; i < Count; ++i) {
    ASSERT_TRUE(Sender.Send(Port, Bytes({0x90, i, Velocity})));
    if (i % 20 == 19) usleep(5000);
  }
  for (int i = 0; i < Count; ++i)
    ASSERT_EQ(NextNote(5000), (std::vector<int>{0x90, i, Velocity})) << "note " << i;
  EXPECT_TRUE(NextNote(300).empty()) << "a note arrived twice";
}

void ExpectSynthRestartsFollowed(TRelay& Relay, TDumpSynth& Synth, TSender& Sender, uint16_t Port,
                                 const std::string& ClientName, int Rounds) {
  const std::string device = ClientName + ":input";
  const std::string lost = "vorlanx: lost the MIDI output " + device +
                           " (its port went away); waiting for it to come back\n";
  const std::string back = "vorlanx: playing on " + device + "\n";
  // A relay started before the synthesiser's port was there has said it came once.
  std::string err = Relay.Child().Stderr();
  const size_t before = CountOf(err, back);
  for (size_t round = 1; round <= static_cast<size_t>(Rounds); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Synth.Stop(true);
    // Notes go on arriving while it is gone; the loss is said once.
    for (int i = 0; i < 500 && CountOf(err = Relay.Child().Stderr(), lost) < round; ++i) {
      Sender.Send(Port, Bytes({0x90, 0x7F, 0x7F}));
      usleep(20000);
    }
    for (int i = 0; i < 20; ++i) Sender.Send(Port, Bytes({0x90, 0x7F, 0x7F}));
    ASSERT_EQ(CountOf(err, lost), round) << err;

    ASSERT_TRUE(Synth.Start(ClientName));
    for (int i = 0; i < 500 && CountOf(err = Relay.Child().Stderr(), back) < before + round; ++i)
      usleep(20000);
    ASSERT_EQ(CountOf(err, back), before + round) << err;
    // Nothing kept from while it was gone.
    EXPECT_EQ(Synth.NextEvent(300), std::vector<int>{});
    Synth.ExpectEachNoteOnce(Sender, Port, 50, 0x40 + static_cast<int>(round));
    if (testing::Test::HasFatalFailure()) return;
  }
  err = Relay.Child().Stderr();
  EXPECT_EQ(CountOf(err, lost), static_cast<size_t>(Rounds)) << err;
  EXPECT_EQ(CountOf(err, back), before + Rounds) << err;
}

}  // namespace relaytest
