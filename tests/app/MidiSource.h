// A JACK client with one MIDI output port that plays what the test hands it,
// as a keyboard or sequencer plugged into a program's JACK MIDI input would.
#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <string>

#include "tests/support/JackFence.h"

namespace relaytest {

class TMidiSource {
 public:
  TMidiSource() = default;
  TMidiSource(const TMidiSource&) = delete;
  TMidiSource& operator=(const TMidiSource&) = delete;
  ~TMidiSource() { Close(); }

  // A client named ClientName on the default server with the output "out".
  bool Open(const std::string& ClientName, std::string* Error = nullptr);
  void Close();
  // Connects "out" to the input port To ("client:port").
  bool Connect(const std::string& To);
  // The first input port whose full name matches the regular expression.
  std::string FindInput(const std::string& Pattern) const;
  // Plays a message of 1 to 3 bytes in the next cycle that runs with "out"
  // connected (held until then).
  bool Play(const std::string& Bytes);

 private:
  static int Process(jack_nframes_t Frames, void* Arg);

  jack_client_t* FClient = nullptr;
  testjack::TJackFence FFence;
  jack_port_t* FPort = nullptr;
  jack_ringbuffer_t* FRing = nullptr;
};

}  // namespace relaytest
