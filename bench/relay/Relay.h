// A relay under test: a program that takes three-byte datagrams and plays them
// on a JACK MIDI port, which the benchmark connects to its recorder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  // A program the relay then runs under (valgrind, to count its instructions);
  // empty: none.
  void SetWrapper(std::vector<std::string> Wrapper) { FWrapper = std::move(Wrapper); }
  bool Wrapped() const { return !FWrapper.empty(); }

  pid_t Pid() const { return FChild.Pid(); }
  bool Alive() { return FChild.Alive(); }
  std::string Log() const { return FChild.Log(); }
  const std::string& Address() const { return FAddress; }
  uint16_t Port() const { return FPort; }
  // How it was started, for the results.
  const std::string& Command() const { return FCommand; }

 protected:
  // Argv behind the wrapper, with no display (the relays run headless).
  bool StartChild(const std::vector<std::string>& Argv, const std::vector<std::string>& Env,
                  const std::string& Dir, const std::string& LogPath, std::string* Error) {
    std::vector<std::string> argv = FWrapper;
    argv.insert(argv.end(), Argv.begin(), Argv.end());
    return FChild.Start(argv, Env, {"DISPLAY", "WAYLAND_DISPLAY"}, Dir, LogPath, Error);
  }
  // How long it may take to start: far longer under valgrind.
  int StartTimeoutMs() const { return FWrapper.empty() ? 10000 : 120000; }

  TChild FChild;
  std::vector<std::string> FWrapper;
  std::string FAddress;
  uint16_t FPort = 0;
  std::string FCommand;
};

std::unique_ptr<TRelay> MakeQmidinet();
// Binary: the relay program as built; it runs from a copy beside its own settings file.
// Name: "VORLANX", or another build of it under a name of its own.
std::unique_ptr<TRelay> MakeVorlanx(const std::string& Binary, const char* Name = "VORLANX");
// The floor: the least a relay can do for the same job (minimal_relay.cpp);
// Loop "epoll" or "uring" puts it in the smallest event loop of that kind.
std::unique_ptr<TRelay> MakeMinimal(const std::string& Binary, const std::string& Loop = "");

}  // namespace relaybench
