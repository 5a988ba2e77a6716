// A private JACK server for tests and benchmarks: `jackd --no-realtime -d dummy`
// under a unique name, started as a child process and stopped by its process id
// (it is also killed when the thread that started it ends). Start it after
// testjack::EnterPrivateShm().
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/Process.h"

namespace testjack {

class TJackServer {
 public:
  TJackServer() = default;
  TJackServer(const TJackServer&) = delete;
  TJackServer& operator=(const TJackServer&) = delete;
  ~TJackServer() { Stop(); }

  // Synchronous mode (-S, the default here): each cycle waits for every client,
  // so a client that is late on a loaded machine delays the cycle instead of
  // missing it, and no MIDI event is lost to a skipped client. Set before Start.
  bool Synchronous = true;

  // Starts the server with the given period and sample rate and waits (at most
  // 10 s) until a client can connect. Sets JACK_DEFAULT_SERVER to its name, so
  // clients of this process (the code under test too) find it.
  bool Start(unsigned Period = 256, unsigned Rate = 48000, std::string* Error = nullptr);
  // Starts it again under the same name, period and rate (clients that know
  // the name, such as a program under test, find it again).
  bool Restart(std::string* Error = nullptr);
  // SIGTERM, and SIGKILL when it has not ended within 5 s. Does nothing when not running.
  void Stop();
  // Ends it at once (SIGKILL), as a crash would.
  void Kill();

  bool Running() const { return FProcess.Pid() > 0; }
  pid_t Pid() const { return FProcess.Pid(); }
  const std::string& Name() const { return FName; }
  unsigned Period() const { return FPeriod; }
  unsigned Rate() const { return FRate; }
  // What the server printed, for failure messages.
  std::string Log() const;

 private:
  bool Launch(std::string* Error);
  bool WaitReady(std::string* Error);

  support::TProcess FProcess;
  std::string FName;
  std::string FLogPath;
  unsigned FPeriod = 0;
  unsigned FRate = 0;
};

}  // namespace testjack
