// Load-independent counts of what a relay does, taken from outside while it
// runs: system calls and context switches (perf's tracepoint and software
// counters, attached to its process), system calls by name (strace -c -f) and
// user-space instructions (callgrind, on a relay started under valgrind).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>

#include "tests/support/Process.h"

namespace relaybench {

// perf stat attached to every thread of a process, counting only between
// Start and Stop (its control fifo, acknowledged, so no count is missed).
class TPerfCounter {
 public:
  ~TPerfCounter() { Stop(); }
  static bool Available();
  bool Start(pid_t Pid, const std::string& WorkDir);
  // Fills the counts (-1 when unknown) and ends perf.
  void Stop(int64_t* Syscalls = nullptr, int64_t* Switches = nullptr);

 private:
  support::TProcess FPerf;
  int FCtl = -1, FAck = -1;
  std::string FOut;
};

// Parses perf stat -x, output: the count of Event, 0 for "<not counted>" (the
// task never ran), -1 when absent.
int64_t PerfCount(const std::string& Output, const std::string& Event);

// System calls by name while strace -c -f is attached to a process.
class TStraceCounter {
 public:
  ~TStraceCounter() { Stop(); }
  static bool Available();
  bool Start(pid_t Pid, const std::string& WorkDir);
  std::map<std::string, int64_t> Stop();

 private:
  support::TProcess FStrace;
  std::string FOut;
};

// Parses strace -c's table: calls per system call name ("total" included).
std::map<std::string, int64_t> StraceCalls(const std::string& Output);

// Instructions a process under callgrind has run since the last Zero.
bool CallgrindZero(pid_t Pid);
// -1 when no dump could be taken. OutFile: the --callgrind-out-file given;
// DumpPath, when given, is set to the dump's file.
int64_t CallgrindDump(pid_t Pid, const std::string& OutFile, std::string* DumpPath = nullptr);
// The "summary:" of a callgrind dump's text.
int64_t CallgrindSummary(const std::string& Dump);

}  // namespace relaybench
