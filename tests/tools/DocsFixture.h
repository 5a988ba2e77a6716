// What the documents' examples run against: a private JACK server with the
// outputs the README shows (synth:in, and drum's long port name), the relay
// playing on synth:in, and commands run through sh or bash in a folder where
// build/ is the build folder and vxcat and vxmidi are on the PATH.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "ScratchDirTest.h"
#include "tests/support/JackTest.h"

namespace docs {

// The names the examples use, as the tests' hosts file gives them.
constexpr char kDocHosts[] = "127.0.0.1 example.org\n192.168.1.10 studio.example\n";
constexpr char kLongPort[] = "a_port_name_longer_than_the_name_field";

using TBytes = std::vector<uint8_t>;

class TDocsTest : public ScratchDirTest {
 protected:
  TDocsTest() : ScratchDirTest("vxdocs") {}
  void SetUp() override;
  void TearDown() override;

  // Runs Command through Shell in the scratch folder to its end (bounded);
  // its exit status, standard output in "out" and standard error in "err".
  int Run(const std::string& Shell, const std::string& Command);
  // Starts it in the background instead, standard input a pipe (Stdin empty)
  // or that file.
  void Start(const std::string& Shell, const std::string& Command, const std::string& Stdin = "");
  support::TProcess& Started() { return FStarted; }
  // Ends what Start started: the program the shell runs, by its process id.
  void StopStarted();

  // The relay on 127.0.0.1:Port playing on synth:in; false when it did not start.
  bool StartRelay(uint16_t Port);
  // Stops it; its settings file as it wrote it.
  std::string StopRelay();

  // The MIDI messages that reach synth (Drum: drum) until Count came or 10 s passed.
  std::vector<TBytes> Played(size_t Count, bool Drum = false);

  testjack::TJackServer FServer;
  testjack::TMidiReceiver FSynth, FDrum;

 private:
  support::TLaunch Launch(const std::string& Shell, const std::string& Command) const;
  support::TProcess FStarted, FRelay;
  std::string FRelayDir;
};

}  // namespace docs
