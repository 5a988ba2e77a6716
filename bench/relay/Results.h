// What the benchmark measures, per relay, per JACK period and per phase.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ProcStats.h"

namespace relaybench {

struct TCapture;

struct TLatency {
  bool Valid = false;
  double P1Ms = 0, P50Ms = 0, P99Ms = 0, MaxMs = 0;
};

struct TPhaseResult {
  std::string Label;  // "1000/s", "burst"
  double Rate = 0;    // 0 for the burst
  uint32_t Sent = 0;
  uint32_t SendFailed = 0;
  double SendSeconds = 0;
  uint32_t Received = 0;
  uint32_t Lost = 0;
  uint32_t Reordered = 0;
  uint32_t Duplicates = 0;
  uint32_t MaxPerCycle = 0;
  int64_t RcvbufErrors = 0;  // the kernel's receive-buffer drops, in this namespace
  int64_t InErrors = 0;
  TLatency Latency;
  double CpuMs = 0;  // relay process CPU over the phase (sending and draining)
  double WallS = 0;
  double CpuPer10kMs = 0;
  double NetCpuPer10kMs = 0;  // less what the relay burns idle over the same time
  // The main thread alone (the one that receives, in the minimal relays and
  // VORLANX), net of its own idle share; -1: not measured.
  double NetMainCpuPer10kMs = -1;
  double SystemShare = -1;  // of the process's CPU, the kernel's (stat ticks, 0..1)
  int64_t Syscalls = -1;      // all its threads over the phase (perf), -1: not counted
  int64_t Switches = -1;      // its context switches over the phase (perf)
  double CountedS = 0;        // how long they were counted
};

struct TIdleResult {
  double Seconds = 0;
  double CpuPercent = -1;       // of one core, process CPU clock
  double StatCpuPercent = -1;   // the same from /proc/PID/stat ticks
  double MainCpuPercent = -1;   // the main thread alone (schedstat)
  int64_t MainThreadRuns = -1;  // times the main thread was scheduled
  int64_t Syscalls = -1;        // all its threads over the idle time (perf)
  int64_t Switches = -1;
};

struct TRelayResult {
  std::string Relay;
  std::string NotRun;  // why it has no figures; empty when it ran
  std::string Command;
  TIdleResult Idle;
  TMemory Memory;
  std::vector<TPhaseResult> Phases;

  const TPhaseResult* Phase(const std::string& Label) const {
    for (const auto& p : Phases)
      if (p.Label == Label) return &p;
    return nullptr;
  }
};

// Counts at one paced rate that do not depend on the machine's load: system
// calls by name (strace) and user-space instructions (callgrind), each less
// what the relay does idle over the same time, per message.
struct TCounts {
  std::string NotRun;  // why some are missing
  double Rate = 0;
  uint32_t Messages = 0;
  std::map<std::string, double> SyscallsPerMessage;  // by name, and "total"
  double IdleSyscallsPerS = -1;
  double InstructionsPerMessage = -1;
  double IdleInstructionsPerS = -1;
};

// One relay's interleaved rounds in a sitting, and its counts.
struct TRelayRounds {
  std::string Relay;
  std::vector<TRelayResult> Rounds;
  TCounts Counts;
};

struct TPeriodResult {
  unsigned Period = 0;
  unsigned Rate = 48000;
  uint32_t Stale = 0;    // events that arrived after their phase ended
  uint32_t Foreign = 0;  // events the sender did not make
  std::vector<TRelayRounds> Relays;
};

// Nearest-rank percentile (P in 0..100) of sorted values.
double Percentile(const std::vector<double>& Sorted, double P);
// Latency of messages 0..Count-1: visible time minus send time.
TLatency MeasureLatency(const int64_t* SendNs, const TCapture& Capture, uint32_t Count);

}  // namespace relaybench
