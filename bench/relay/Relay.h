// A relay under test: a program that takes three-byte datagrams and plays them
// on a JACK MIDI port, which the benchmark connects to its recorder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Child.h"

namespace relaybench {

class TRecorder;

class TRelay {
 public:
  virtual ~TRelay() = default;
  virtual const char* Name() const = 0;
  // Why it cannot run here; empty when it can.
  virtual std::string Missing() const = 0;
  // Starts it in WorkDir (an empty folder of ours) and waits until it receives
  // on Address():Port() and plays into the recorder's port.
  virtual bool Start(TRecorder& Recorder, const std::string& WorkDir, std::string* Error) = 0;
  void Stop() { FChild.Stop(); }

  pid_t Pid() const { return FChild.Pid(); }
  bool Alive() { return FChild.Alive(); }
  std::string Log() const { return FChild.Log(); }
  const std::string& Address() const { return FAddress; }
  uint16_t Port() const { return FPort; }
  // How it was started, for the results.
  const std::string& Command() const { return FCommand; }

 protected:
  TChild FChild;
  std::string FAddress;
  uint16_t FPort = 0;
  std::string FCommand;
};

std::unique_ptr<TRelay> MakeQmidinet();
// Binary: the relay program as built; it runs from a copy beside its own settings file.
std::unique_ptr<TRelay> MakeVorlanx(const std::string& Binary);

}  // namespace relaybench
