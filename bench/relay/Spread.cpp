#include "Spread.h"

#include <algorithm>

namespace relaybench {

TSpread SpreadOf(std::vector<double> Values) {
  Values.erase(std::remove_if(Values.begin(), Values.end(), [](double v) { return v < 0; }),
               Values.end());
  TSpread s;
  if (Values.empty()) return s;
  std::sort(Values.begin(), Values.end());
  const size_t n = Values.size();
  s.N = static_cast<int>(n);
  s.Median = n % 2 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2;
  s.Min = Values.front();
  s.Max = Values.back();
  return s;
}

double NetCpuUs(const TPhaseResult& P) { return P.Sent ? P.NetCpuPer10kMs / 10.0 : -1; }

double NetMainCpuUs(const TPhaseResult& P) {
  return P.Sent && P.NetMainCpuPer10kMs >= 0 ? P.NetMainCpuPer10kMs / 10.0 : -1;
}

double SystemPercent(const TPhaseResult& P) { return P.SystemShare < 0 ? -1 : 100 * P.SystemShare; }

namespace {

double PerMessage(int64_t Busy, int64_t Idle, double IdleS, const TPhaseResult& P) {
  if (Busy < 0 || Idle < 0 || IdleS <= 0 || P.Sent == 0 || P.CountedS <= 0) return -1;
  const double net = static_cast<double>(Busy) - static_cast<double>(Idle) * P.CountedS / IdleS;
  return std::max(0.0, net) / P.Sent;
}

}  // namespace

double SyscallsPerMessage(const TPhaseResult& P, const TIdleResult& Idle) {
  return PerMessage(P.Syscalls, Idle.Syscalls, Idle.Seconds, P);
}

double SwitchesPerMessage(const TPhaseResult& P, const TIdleResult& Idle) {
  return PerMessage(P.Switches, Idle.Switches, Idle.Seconds, P);
}

}  // namespace relaybench
