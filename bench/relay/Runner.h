// Runs one relay through the benchmark's phases against the recorder: a warm-up,
// its idle CPU, paced rates, a burst, and its memory at the end.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Results.h"

namespace relaybench {

class TRecorder;
class TRelay;
class TSender;

struct TOptions {
  std::vector<unsigned> Periods{64, 256};
  std::vector<double> Rates{100, 1000, 5000, 10000, 20000, 50000};
  double PhaseSeconds = 3;
  uint32_t Burst = 16384;
  double IdleSeconds = 10;
  std::vector<std::string> Relays{"minimal", "minimal-epoll", "minimal-uring", "VORLANX",
                                  "qmidinet"};
  unsigned Rounds = 3;      // each relay once a round, the rounds interleaved
  std::string Vorlanx;      // the relay program as built
  std::string Baseline;     // another build of it to compare with (VORLANX-baseline)
  std::string Minimal;      // the minimal relay as built
  bool Counts = true;       // strace and callgrind counts, in the last period
  double CountRate = 1000;  // the paced rate the counts are taken at
  double CountSeconds = 2;
  std::string ResultsPath;
  std::string ProfilesDir;  // where the counts' strace and callgrind outputs are kept; empty: not
};

class TRunner {
 public:
  TRunner(const TOptions& Options, TRecorder& Recorder);
  TRelayResult Run(TRelay& Relay, const std::string& WorkDir);
  // Load-independent counts: Relay is started twice, under strace and under
  // callgrind.
  TCounts Count(TRelay& Relay, const std::string& WorkDir);

 private:
  bool WarmUp(TRelay& Relay, TSender& Sender, std::string* Error);
  bool StartAndWarmUp(TRelay& Relay, TSender& Sender, const std::string& WorkDir,
                      std::string* Error);
  // A copy of a count's output in the profiles folder, when one is asked for.
  void Keep(const std::string& Path, const std::string& Name);
  void CountWithStrace(TRelay& Relay, const std::string& WorkDir, TCounts& Counts);
  void CountWithCallgrind(TRelay& Relay, const std::string& WorkDir, TCounts& Counts);
  TIdleResult MeasureIdle(TRelay& Relay);
  TPhaseResult RunPhase(TRelay& Relay, TSender& Sender, const std::string& Label, double Rate,
                        uint32_t Count, double IdleShare, double MainIdleShare);
  // Waits until Sent messages of the phase arrived, or none arrived for a while.
  void Drain(int Parity, uint32_t Sent);

  const TOptions& FOptions;
  TRecorder& FRecorder;
  std::unique_ptr<int64_t[]> FSendNs;
  int FParity = 0;
  std::string FWorkDir;
};

}  // namespace relaybench
