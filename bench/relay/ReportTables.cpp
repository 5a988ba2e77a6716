#include "ReportTables.h"

#include <cstdio>

#include "Spread.h"

namespace relaybench {

std::string Fmt(const char* Format, double V) {
  char b[256];
  std::snprintf(b, sizeof b, Format, V);
  return b;
}

const TRelayRounds* FindRelay(const TPeriodResult& P, const std::string& Relay) {
  for (const auto& r : P.Relays)
    if (r.Relay == Relay && !r.Rounds.empty()) return &r;
  return nullptr;
}

namespace {

const char* kNone = "–";

std::string Int(int64_t V) { return std::to_string(V); }

// "median (min–max)", or the median alone from one round.
std::string Cell(const TSpread& S, const char* Format) {
  if (!S.Valid()) return kNone;
  if (S.N == 1) return Fmt(Format, S.Median);
  return Fmt(Format, S.Median) + " (" + Fmt(Format, S.Min) + "–" + Fmt(Format, S.Max) + ")";
}

std::string Ratio(const TSpread& A, const TSpread& B) {
  if (!A.Valid() || !B.Valid() || B.Median <= 0 || A.Median < 0) return kNone;
  return Fmt("%.2f", A.Median / B.Median);
}

std::vector<std::string> Labels(const TPeriodResult& P) {
  std::vector<std::string> labels;
  for (const auto& r : P.Relays)
    for (const auto& round : r.Rounds)
      for (const auto& ph : round.Phases) {
        bool known = false;
        for (const auto& l : labels) known = known || l == ph.Label;
        if (!known) labels.push_back(ph.Label);
      }
  return labels;
}

void Row(std::ostringstream& Out, const std::vector<std::string>& Cells) {
  Out << "|";
  for (const auto& c : Cells) Out << " " << c << " |";
  Out << "\n";
}

void Header(std::ostringstream& Out, const std::vector<std::string>& Cells) {
  Row(Out, Cells);
  Out << "|";
  for (size_t i = 0; i < Cells.size(); ++i) Out << (i == 0 ? " --- |" : " ---: |");
  Out << "\n";
}

std::vector<std::string> Names(const TPeriodResult& P, const std::string& Suffix = "") {
  std::vector<std::string> names;
  for (const auto& r : P.Relays) names.push_back(r.Relay + Suffix);
  return names;
}

std::vector<std::string> Cat(std::vector<std::string> A, const std::vector<std::string>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

// The ratio columns: VORLANX over the minimal relay and over qmidinet.
template <class F>
std::vector<std::string> Ratios(const TPeriodResult& P, const std::string& Label, F Figure) {
  const TRelayRounds* v = FindRelay(P, "VORLANX");
  std::vector<std::string> cells;
  for (const char* other : {"minimal", "qmidinet"}) {
    const TRelayRounds* o = FindRelay(P, other);
    if (!v || !o) {
      cells.push_back(kNone);
      continue;
    }
    const TSpread a = OverRounds(*v, Label, Figure), b = OverRounds(*o, Label, Figure);
    const TSpread paired = RatioOverRounds(*v, *o, Label, Figure);
    std::string c = Ratio(a, b);
    if (paired.N > 1) c += " (" + Fmt("%.2f", paired.Min) + "–" + Fmt("%.2f", paired.Max) + ")";
    cells.push_back(c);
  }
  return cells;
}

const std::vector<std::string> kRatioHeads = {"V/minimal", "V/qmidinet"};

template <class F>
void FigureTable(std::ostringstream& Out, const TPeriodResult& P, const char* Format, F Figure,
                 bool WithRatios) {
  Header(Out, Cat(Cat({"phase"}, Names(P)), WithRatios ? kRatioHeads : std::vector<std::string>{}));
  for (const auto& label : Labels(P)) {
    std::vector<std::string> cells = {label};
    for (const auto& r : P.Relays) cells.push_back(Cell(OverRounds(r, label, Figure), Format));
    if (WithRatios) cells = Cat(cells, Ratios(P, label, Figure));
    Row(Out, cells);
  }
  Out << "\n";
}

}  // namespace

void DeliveryTable(std::ostringstream& Out, const TPeriodResult& P) {
  Out << "Delivery, all rounds together: lost (sent − received, kernel drops included) / "
         "reordered / kernel drops (the namespace's UDP RcvbufErrors)\n\n";
  Header(Out, Cat({"phase", "sent a round"}, Names(P)));
  for (const auto& label : Labels(P)) {
    uint32_t sent = 0;
    std::vector<std::string> cells = {label, ""};
    for (const auto& r : P.Relays) {
      int64_t lost = 0, reordered = 0, drops = 0, total = 0;
      for (const auto& round : r.Rounds)
        if (const TPhaseResult* p = round.Phase(label)) {
          sent = p->Sent;
          lost += p->Lost;
          reordered += p->Reordered;
          drops += p->RcvbufErrors;
          total += p->Sent;
        }
      cells.push_back(total ? Int(lost) + Fmt(" (%.1f%%)", 100.0 * lost / total) + " / " +
                                  Int(reordered) + " / " + Int(drops)
                            : kNone);
    }
    cells[1] = Int(sent);
    Row(Out, cells);
  }
  Out << "\n";
}

void LatencyTable(std::ostringstream& Out, const TPeriodResult& P) {
  Out << "Latency p50 in ms, from just before `sendto` to the start of the receiving client's "
         "process callback plus the event's frame offset (CLOCK_MONOTONIC)\n\n";
  FigureTable(
      Out, P, "%.3f",
      [](const TPhaseResult& p, const TRelayResult&) {
        return p.Latency.Valid ? p.Latency.P50Ms : -1;
      },
      false);
  Out << "Latency spread p99 − p1 in ms\n\n";
  FigureTable(
      Out, P, "%.3f",
      [](const TPhaseResult& p, const TRelayResult&) {
        return p.Latency.Valid ? p.Latency.P99Ms - p.Latency.P1Ms : -1;
      },
      false);
}

void CpuTable(std::ostringstream& Out, const TPeriodResult& P) {
  Out << "Relay CPU in µs per message sent, net of its idle CPU over the same time (all its "
         "threads, user + system, over sending and draining). CPU time on a loaded machine: the "
         "ratios within a round (in brackets: their lowest and highest) hold better than the "
         "figures. At the lowest rates the idle baseline's noise swamps the figure.\n\n";
  FigureTable(
      Out, P, "%.2f", [](const TPhaseResult& p, const TRelayResult&) { return NetCpuUs(p); }, true);
  Out << "Of that, the main thread's, in µs per message net of its own idle CPU (schedstat): "
         "the thread that receives in the minimal relays and in VORLANX; the rest is mostly "
         "the JACK thread's\n\n";
  FigureTable(
      Out, P, "%.2f", [](const TPhaseResult& p, const TRelayResult&) { return NetMainCpuUs(p); },
      true);
  Out << "The kernel's share of the relay's CPU over the phase, % (utime and stime of "
         "/proc/PID/stat, in clock ticks: coarse over a short phase)\n\n";
  FigureTable(
      Out, P, "%.0f", [](const TPhaseResult& p, const TRelayResult&) { return SystemPercent(p); },
      false);
}

void SyscallTable(std::ostringstream& Out, const TPeriodResult& P) {
  Out << "System calls per message, all threads, net of the idle rate (perf's "
         "raw_syscalls:sys_enter attached to the process); a count, but how many datagrams one "
         "wake-up finds depends on the machine's pace\n\n";
  FigureTable(
      Out, P, "%.2f",
      [](const TPhaseResult& p, const TRelayResult& r) { return SyscallsPerMessage(p, r.Idle); },
      true);
  Out << "Context switches per message, net of the idle rate (perf's context-switches)\n\n";
  FigureTable(
      Out, P, "%.2f",
      [](const TPhaseResult& p, const TRelayResult& r) { return SwitchesPerMessage(p, r.Idle); },
      false);
}

void IdleTable(std::ostringstream& Out, const TPeriodResult& P, double IdleSeconds) {
  Header(Out, Cat({""}, Names(P)));
  auto row = [&](const std::string& Title, const char* Format, auto Figure) {
    std::vector<std::string> cells = {Title};
    for (const auto& r : P.Relays) {
      std::vector<double> v;
      for (const auto& round : r.Rounds)
        if (round.NotRun.empty()) v.push_back(Figure(round));
      cells.push_back(Cell(SpreadOf(v), Format));
    }
    Row(Out, cells);
  };
  row(Fmt("idle CPU over %.0f s, %% of a core", IdleSeconds), "%.3f",
      [](const TRelayResult& r) { return r.Idle.CpuPercent; });
  row("idle system calls per second (perf)", "%.0f", [](const TRelayResult& r) {
    return r.Idle.Syscalls < 0 || r.Idle.Seconds <= 0 ? -1 : r.Idle.Syscalls / r.Idle.Seconds;
  });
  row("main-thread wake-ups while idle", "%.0f",
      [](const TRelayResult& r) { return static_cast<double>(r.Idle.MainThreadRuns); });
  row("private memory (RssAnon + RssFile), KiB", "%.0f",
      [](const TRelayResult& r) { return static_cast<double>(r.Memory.PrivateKb()); });
  row("  of which RssAnon, KiB", "%.0f",
      [](const TRelayResult& r) { return static_cast<double>(r.Memory.AnonKb); });
  Out << "\n";
}

void CountsTable(std::ostringstream& Out, const TPeriodResult& P, double CountSeconds) {
  bool any = false;
  for (const auto& r : P.Relays) any = any || r.Counts.Messages > 0;
  if (!any) return;
  const double rate = P.Relays.front().Counts.Rate;
  Out << "Counts that do not depend on the load, at " << Fmt("%.0f", rate)
      << " messages a second for " << Fmt("%.0f", CountSeconds)
      << " s, less what the relay does idle over the same time, per message: system calls by "
         "name from `strace -c -f` attached to the relay, user-space instructions of all its "
         "threads from callgrind (a separate start under valgrind, with `callgrind_control -z` "
         "and `-d` around the counts)\n\n";
  Header(Out, Cat({"per message"}, Names(P)));
  std::vector<std::string> names;
  for (const auto& r : P.Relays)
    for (const auto& [name, n] : r.Counts.SyscallsPerMessage)
      if (name != "total" && n >= 0.05) {
        bool known = false;
        for (const auto& k : names) known = known || k == name;
        if (!known) names.push_back(name);
      }
  names.insert(names.begin(), "total");
  for (const auto& name : names) {
    std::vector<std::string> cells = {name == "total" ? "system calls" : "  " + name};
    for (const auto& r : P.Relays) {
      auto it = r.Counts.SyscallsPerMessage.find(name);
      cells.push_back(it == r.Counts.SyscallsPerMessage.end()
                          ? (r.Counts.SyscallsPerMessage.empty() ? kNone : "0")
                          : Fmt("%.2f", it->second));
    }
    Row(Out, cells);
  }
  std::vector<std::string> cells = {"user-space instructions"};
  for (const auto& r : P.Relays)
    cells.push_back(r.Counts.InstructionsPerMessage >= 0
                        ? Fmt("%.0f", r.Counts.InstructionsPerMessage)
                        : kNone);
  Row(Out, cells);
  cells = {"idle: system calls per second"};
  for (const auto& r : P.Relays)
    cells.push_back(r.Counts.IdleSyscallsPerS >= 0 ? Fmt("%.0f", r.Counts.IdleSyscallsPerS)
                                                   : kNone);
  Row(Out, cells);
  cells = {"idle: instructions per second"};
  for (const auto& r : P.Relays)
    cells.push_back(r.Counts.IdleInstructionsPerS >= 0 ? Fmt("%.0f", r.Counts.IdleInstructionsPerS)
                                                       : kNone);
  Row(Out, cells);
  Out << "\n";
  for (const auto& r : P.Relays)
    if (!r.Counts.NotRun.empty()) Out << r.Relay << ": " << r.Counts.NotRun << "\n\n";
}

}  // namespace relaybench
