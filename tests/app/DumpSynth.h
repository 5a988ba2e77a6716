// A synthesiser in a process of its own, to be killed and started again as
// musicians' synthesisers are: jack_midi_dump, a JACK MIDI client with the one
// input "<name>:input", which prints each event it hears.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/app/RelayProcess.h"

namespace relaytest {

class TDumpSynth {
 public:
  // Words run in front of it (pw-jack) and its environment, as guitest::TChild takes it.
  std::vector<std::string> Prefix;
  std::vector<std::string> Env;

  bool Start(const std::string& ClientName = "midi-monitor");
  // At once (SIGKILL), as a crash would; or SIGTERM, as a closing synthesiser.
  void Stop(bool Kill = false);
  guitest::TChild* Child() { return FChild.get(); }

  // The next event it printed ("  10: 90 3c 64 note on ..."), as its bytes;
  // empty when none came within TimeoutMs.
  std::vector<int> NextEvent(int TimeoutMs);
  // The next event other than the clock bytes SendUntilHeard sends.
  std::vector<int> NextNote(int TimeoutMs);
  // Sends clock bytes to the relay until one is heard (at most 15 s).
  bool SendUntilHeard(TSender& Sender, uint16_t Port);
  // Once the path is known to run (after a quiet spell, a clock byte heard
  // again), sends Count notes {0x90, i, Velocity} and expects each exactly once, in order.
  void ExpectEachNoteOnce(TSender& Sender, uint16_t Port, int Count, int Velocity = 0x40);

 private:
  std::unique_ptr<guitest::TChild> FChild;
};

// The synthesiser Synth, the relay's output Device (its name, "<client>:input"),
// killed and started again Rounds times while the server stays, under traffic:
// each loss and each return is said once on the relay's standard error (the
// return with no datagram needed), what was sent while it was gone never
// arrives, and each note sent after each return arrives once.
void ExpectSynthRestartsFollowed(TRelay& Relay, TDumpSynth& Synth, TSender& Sender, uint16_t Port,
                                 const std::string& ClientName, int Rounds);

// The program's full path on PATH; empty when it is not there.
std::string Which(const std::string& Program);

}  // namespace relaytest
