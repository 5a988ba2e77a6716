// VORLANX against its targets: against the minimal relay (the floor) and
// against qmidinet (what a user would pick instead).
#include "ReportTables.h"
#include "Spread.h"

namespace relaybench {
namespace {

void Mark(std::ostringstream& Out, bool Met, const std::string& Text) {
  Out << "- " << (Met ? "met" : "**not met**") << ": " << Text << "\n";
}

// Net CPU per message over the paced phases together, in µs.
double PacedCpuUs(const TRelayResult& R) {
  double us = 0, n = 0;
  for (const auto& p : R.Phases)
    if (p.Rate > 0) {
      us += NetCpuUs(p) * p.Sent;
      n += p.Sent;
    }
  return n > 0 ? us / n : -1;
}

template <class F>
TSpread OverRuns(const TRelayRounds& R, F Figure) {
  std::vector<double> v;
  for (const auto& r : R.Rounds)
    if (r.NotRun.empty()) v.push_back(Figure(r));
  return SpreadOf(v);
}

void AgainstMinimal(std::ostringstream& Out, const TRelayRounds& V, const TRelayRounds& M) {
  auto cpu = [](const TPhaseResult& p, const TRelayResult&) { return NetCpuUs(p); };
  for (const char* label : {"1000/s", "10000/s", "50000/s"}) {
    const TSpread v = OverRounds(V, label, cpu), m = OverRounds(M, label, cpu);
    if (!v.Valid() || !m.Valid() || m.Median <= 0) continue;
    const TSpread paired = RatioOverRounds(V, M, label, cpu);
    Mark(Out, v.Median <= 1.3 * m.Median,
         std::string(label) + Fmt(": CPU per message net of idle %.2f µs", v.Median) +
             Fmt(" against the minimal relay's %.2f µs", m.Median) +
             Fmt(", %.2f×", v.Median / m.Median) + Fmt(" (rounds %.2f", paired.Min) +
             Fmt("–%.2f×; at most 1.3×)", paired.Max));
  }
  auto idle = [](const TRelayResult& r) { return r.Idle.CpuPercent; };
  const TSpread vi = OverRuns(V, idle), mi = OverRuns(M, idle);
  if (vi.Valid() && mi.Valid() && mi.Median > 0)
    Mark(Out, vi.Median <= 1.1 * mi.Median,
         Fmt("idle CPU %.3f%%", vi.Median) + Fmt(" against the minimal relay's %.3f%%", mi.Median) +
             Fmt(", %.2f× (at most 1.1×)", vi.Median / mi.Median));
  auto p50 = [](const TPhaseResult& p, const TRelayResult&) {
    return p.Latency.Valid ? p.Latency.P50Ms : -1;
  };
  const TSpread vl = OverRounds(V, "1000/s", p50), ml = OverRounds(M, "1000/s", p50);
  if (vl.Valid() && ml.Valid())
    Mark(Out, vl.Median <= ml.Median + 0.05,
         Fmt("latency p50 at 1000/s %.3f ms", vl.Median) +
             Fmt(" against the minimal relay's %.3f ms (at most 0.05 ms more)", ml.Median));
}

void AgainstQmidinet(std::ostringstream& Out, const TRelayRounds& V, const TRelayRounds& Q) {
  const TSpread v = OverRuns(V, PacedCpuUs), q = OverRuns(Q, PacedCpuUs);
  if (v.Valid() && q.Valid())
    Mark(Out, v.Median <= q.Median / 2,
         Fmt("paced phases together: CPU per message sent, net of idle, %.2f µs", v.Median) +
             Fmt(" against qmidinet's %.2f µs (at most half)", q.Median));
  auto idle = [](const TRelayResult& r) { return r.Idle.CpuPercent; };
  const TSpread vi = OverRuns(V, idle), qi = OverRuns(Q, idle);
  if (vi.Valid() && qi.Valid())
    Mark(Out, vi.Median <= qi.Median / 2,
         Fmt("idle CPU %.3f%%", vi.Median) +
             Fmt(" against qmidinet's %.3f%% (at most half)", qi.Median));
  auto mem = [](const TRelayResult& r) { return static_cast<double>(r.Memory.PrivateKb()); };
  const TSpread vm = OverRuns(V, mem), qm = OverRuns(Q, mem);
  if (vm.Valid() && qm.Valid())
    Mark(Out, vm.Median <= qm.Median,
         Fmt("private memory %.0f KiB", vm.Median) +
             Fmt(" against qmidinet's %.0f KiB (no larger)", qm.Median));
}

void Delivered(std::ostringstream& Out, const TPeriodResult& P, const TRelayRounds& V) {
  std::vector<std::string> labels;
  for (const auto& r : V.Rounds)
    for (const auto& p : r.Phases) {
      bool known = false;
      for (const auto& l : labels) known = known || l == p.Label;
      if (!known) labels.push_back(p.Label);
    }
  for (const auto& label : labels) {
    int64_t sent = 0, received = 0, lost = 0, reordered = 0, drops = 0;
    bool burst = false;
    for (const auto& r : V.Rounds)
      if (const TPhaseResult* p = r.Phase(label)) {
        burst = p->Rate <= 0;
        sent += p->Sent;
        received += p->Received;
        lost += p->Lost;
        reordered += p->Reordered;
        drops += p->RcvbufErrors;
      }
    if (burst) {
      const double share = sent ? 100.0 * received / sent : 0;
      Mark(Out, share >= 99.0,
           Fmt("burst delivered %.2f%% (at least 99%%)", share) +
               "; the kernel's receive buffer dropped " + std::to_string(drops));
    } else {
      Mark(Out, lost == 0 && reordered == 0,
           label + ": " + std::to_string(lost) + " lost, " + std::to_string(reordered) +
               " reordered over the rounds (none of either)");
    }
  }
  if (P.Period == 256) {
    auto p50 = [](const TPhaseResult& p, const TRelayResult&) {
      return p.Latency.Valid ? p.Latency.P50Ms : -1;
    };
    auto spread = [](const TPhaseResult& p, const TRelayResult&) {
      return p.Latency.Valid ? p.Latency.P99Ms - p.Latency.P1Ms : -1;
    };
    const double periodMs = 1000.0 * P.Period / P.Rate;
    const TSpread l = OverRounds(V, "1000/s", p50), s = OverRounds(V, "1000/s", spread);
    if (l.Valid())
      Mark(Out, l.Median <= periodMs + 0.15,
           Fmt("latency p50 at 1000/s %.3f ms", l.Median) +
               Fmt(" (at most %.3f ms)", periodMs + 0.15));
    if (s.Valid())
      Mark(Out, s.Median < 0.5, Fmt("latency p99 − p1 at 1000/s %.3f ms (below 0.5 ms)", s.Median));
  }
  const TSpread wakeups =
      OverRuns(V, [](const TRelayResult& r) { return static_cast<double>(r.Idle.MainThreadRuns); });
  if (wakeups.Valid())
    Mark(Out, wakeups.Max == 0,
         Fmt("main thread woke at most %.0f times while idle, in any round (not at all)",
             wakeups.Max));
}

}  // namespace

void Targets(std::ostringstream& Out, const std::vector<TPeriodResult>& Periods) {
  Out << "## VORLANX against its targets\n\n";
  bool any = false;
  for (const auto& P : Periods) {
    const TRelayRounds* V = FindRelay(P, "VORLANX");
    if (!V) continue;
    any = true;
    Out << "Period " << P.Period << ":\n\n";
    Delivered(Out, P, *V);
    if (const TRelayRounds* M = FindRelay(P, "minimal")) AgainstMinimal(Out, *V, *M);
    if (const TRelayRounds* Q = FindRelay(P, "qmidinet")) AgainstQmidinet(Out, *V, *Q);
    Out << "\n";
  }
  if (!any) Out << "VORLANX has no figures in this run (see above).\n\n";
}

}  // namespace relaybench
