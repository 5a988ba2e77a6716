// Child processes for tests and benchmarks: the programs under test, peers
// (socat, proxies), servers (jackd, Xvfb). Started with fork and exec, with
// everything the child needs made before the fork (the parent has threads);
// killed and reaped by process id, never by name.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace support {

// What to start and where its standard streams go.
struct TLaunch {
  // Argv[0] is a path, or a name looked up in PATH.
  std::vector<std::string> Argv;
  // Over this process's environment: "NAME=value" sets, a bare "NAME" removes.
  std::vector<std::string> Env;
  // Working directory; empty: ours.
  std::string Dir;
  // Each stream: a path (standard input is opened for reading, the others are
  // created or emptied), kPipe (a pipe to us) or kInherit (ours). Standard
  // error may also be kToStdout.
  std::string Stdin = "/dev/null";
  std::string Stdout = "/dev/null";
  std::string Stderr = kInherit;
  // The child is killed when this process dies (say, a test killed on a timeout).
  bool DiesWithParent = false;

  static const char* const kPipe;
  static const char* const kInherit;
  static const char* const kToStdout;
};

class TProcess {
 public:
  TProcess() = default;
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;
  ~TProcess();  // kills (SIGKILL) and reaps a child still running; closes the pipes

  // False, with the reason in *Error, when it cannot start (a program that
  // exec cannot run ends with status 127 instead).
  bool Start(const TLaunch& Launch, std::string* Error = nullptr);
  // -1 once it has been found ended.
  pid_t Pid() const { return FPid; }
  // Whether it has been started and not yet found ended.
  bool Running();
  void Signal(int Sig);
  // The wait status of its end, or -1 when it has not ended within TimeoutMs
  // (-1: no limit).
  int WaitStatus(int TimeoutMs);
  // The exit code (128 + the signal when killed), or -1 as above.
  int Wait(int TimeoutMs);
  // SIGTERM, then SIGKILL when it has not ended within GraceMs; returns the
  // wait status (-1 when it was not running).
  int Stop(int GraceMs = 5000);

  // Our ends of the pipes (-1 where the stream is not a pipe, or closed).
  int In() const { return FIn; }
  int Out() const { return FOut; }
  int Err() const { return FErr; }
  // Writes all of Bytes to standard input; false when it cannot.
  bool WriteIn(const std::string& Bytes);
  void CloseIn() { Close(FIn); }
  void CloseOut() { Close(FOut); }
  void CloseErr() { Close(FErr); }

 private:
  void Reset();  // kills a child still running, closes the pipes
  static void Close(int& Fd);
  pid_t FPid = -1;
  int FStatus = -1;  // the wait status once reaped
  int FIn = -1, FOut = -1, FErr = -1;
};

// Polls Ready every Step ms until it holds or TimeoutMs passes.
template <class F>
bool WaitUntil(F Ready, int TimeoutMs, int StepMs = 20);
void SleepMs(int Ms);

template <class F>
bool WaitUntil(F Ready, int TimeoutMs, int StepMs) {
  for (int waited = 0;; waited += StepMs) {
    if (Ready()) return true;
    if (waited >= TimeoutMs) return false;
    SleepMs(StepMs);
  }
}

}  // namespace support
