// Medians and spreads over interleaved rounds, and the per-message figures
// each round gives.
#pragma once

#include <string>
#include <vector>

#include "Results.h"

namespace relaybench {

struct TSpread {
  int N = 0;  // rounds that gave the figure
  double Median = -1, Min = -1, Max = -1;
  bool Valid() const { return N > 0; }
};

// Of the values that are not negative (negative: not measured).
TSpread SpreadOf(std::vector<double> Values);

// Net CPU per message sent, in µs, in one phase.
double NetCpuUs(const TPhaseResult& P);
// The main thread's part of it (-1: not measured).
double NetMainCpuUs(const TPhaseResult& P);
// The kernel's share of the process's CPU, in percent (-1: not measured).
double SystemPercent(const TPhaseResult& P);
// System calls and context switches per message, less the idle rate over the
// same time; -1 when not counted.
double SyscallsPerMessage(const TPhaseResult& P, const TIdleResult& Idle);
double SwitchesPerMessage(const TPhaseResult& P, const TIdleResult& Idle);

// One figure of a relay's phase Label, over its rounds.
template <class F>
TSpread OverRounds(const TRelayRounds& R, const std::string& Label, F Figure) {
  std::vector<double> v;
  for (const auto& round : R.Rounds)
    if (const TPhaseResult* p = round.Phase(Label)) v.push_back(Figure(*p, round));
  return SpreadOf(v);
}

// Ratio A/B of the same figure within each round (rounds paired in order),
// over the rounds: how the comparison moves with the sitting.
template <class F>
TSpread RatioOverRounds(const TRelayRounds& A, const TRelayRounds& B, const std::string& Label,
                        F Figure) {
  std::vector<double> v;
  for (size_t i = 0; i < A.Rounds.size() && i < B.Rounds.size(); ++i) {
    const TPhaseResult* a = A.Rounds[i].Phase(Label);
    const TPhaseResult* b = B.Rounds[i].Phase(Label);
    if (!a || !b) continue;
    const double x = Figure(*a, A.Rounds[i]), y = Figure(*b, B.Rounds[i]);
    if (x >= 0 && y > 0) v.push_back(x / y);
  }
  return SpreadOf(v);
}

}  // namespace relaybench
