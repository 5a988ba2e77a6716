#include "Report.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace relaybench {
namespace {

std::string Fmt(const char* Format, double V) {
  char b[64];
  std::snprintf(b, sizeof b, Format, V);
  return b;
}

std::string Int(int64_t V) { return std::to_string(V); }

const char* kNone = "–";

std::string Ratio(double V, double Q) {
  if (Q <= 0 || V < 0) return kNone;
  return Fmt("%.2f", V / Q);
}

std::string Command(const char* Cmd) {
  std::string out;
  if (FILE* p = popen(Cmd, "r")) {
    char b[256];
    while (std::fgets(b, sizeof b, p)) out += b;
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown processor";
}

long MemTotalMiB() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  long kb = 0;
  in >> key >> kb;
  return kb / 1024;
}

// A relay's results in a period, or null when it has no phases there.
const TRelayResult* Find(const TPeriodResult& P, const std::string& Relay) {
  for (const auto& r : P.Relays)
    if (r.Relay == Relay) return &r;
  return nullptr;
}

std::string Lost(const TPhaseResult& P) {
  if (P.Sent == 0) return Int(P.Lost);
  return Int(P.Lost) + Fmt(" (%.1f%%)", 100.0 * P.Lost / P.Sent);
}

std::vector<std::string> Labels(const TPeriodResult& P) {
  std::vector<std::string> labels;
  for (const auto& r : P.Relays)
    for (const auto& ph : r.Phases) {
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

// Net CPU per message over the paced phases together, in µs, per message sent
// or per message delivered (the burst mostly measures how fast the kernel drops).
double NetCpuPerMessageUs(const TRelayResult& R, bool Delivered = false) {
  double ms = 0, n = 0;
  for (const auto& p : R.Phases) {
    if (p.Rate <= 0) continue;
    ms += p.NetCpuPer10kMs * p.Sent / 10000.0;
    n += Delivered ? p.Received : p.Sent;
  }
  return n > 0 ? ms * 1000.0 / n : -1;
}

// Net CPU in ms per 10,000 messages delivered.
double NetPer10kDelivered(const TPhaseResult& P) {
  return P.Received ? P.NetCpuPer10kMs * P.Sent / P.Received : -1;
}

void Delivery(std::ostringstream& Out, const TPeriodResult& P, const TRelayResult* Q,
              const TRelayResult* V) {
  Out << "Delivery (lost = sent − received, kernel drops included; kernel drops: the namespace's "
         "UDP "
         "RcvbufErrors; max/cycle: most events of the phase in one JACK cycle)\n\n";
  Header(Out, {"phase", "sent", "qmidinet received", "lost", "reordered", "kernel drops",
               "max/cycle", "VORLANX received", "lost", "reordered", "kernel drops", "max/cycle"});
  for (const auto& label : Labels(P)) {
    const TPhaseResult* q = Q ? Q->Phase(label) : nullptr;
    const TPhaseResult* v = V ? V->Phase(label) : nullptr;
    std::vector<std::string> cells = {label, Int(q ? q->Sent : v ? v->Sent : 0)};
    for (const TPhaseResult* p : {q, v}) {
      if (!p) {
        cells.insert(cells.end(), {kNone, kNone, kNone, kNone, kNone});
        continue;
      }
      cells.push_back(Int(p->Received));
      cells.push_back(Lost(*p));
      cells.push_back(Int(p->Reordered));
      cells.push_back(Int(p->RcvbufErrors));
      cells.push_back(Int(p->MaxPerCycle));
    }
    Row(Out, cells);
  }
  Out << "\n";
  // A sender that could not keep its pace would make a rate mean less than it says.
  for (const TRelayResult* r : {Q, V})
    if (r)
      for (const auto& p : r->Phases)
        if (p.Rate > 0 && p.Sent > 1 && p.SendSeconds > 0 &&
            (p.Sent - 1) / p.SendSeconds < 0.95 * p.Rate)
          Out << "Note: to " << r->Relay << " the " << p.Label << " phase was sent at only "
              << Fmt("%.0f/s", (p.Sent - 1) / p.SendSeconds) << ".\n\n";
}

void Latency(std::ostringstream& Out, const TPeriodResult& P, const TRelayResult* Q,
             const TRelayResult* V) {
  Out << "Latency in ms, from just before `sendto` to the start of the receiving client's process "
         "callback plus "
         "the event's frame offset (CLOCK_MONOTONIC)\n\n";
  Header(Out, {"phase", "qmidinet p1", "p50", "p99", "max", "VORLANX p1", "p50", "p99", "max",
               "p50 V/q", "p99 V/q"});
  for (const auto& label : Labels(P)) {
    const TPhaseResult* q = Q ? Q->Phase(label) : nullptr;
    const TPhaseResult* v = V ? V->Phase(label) : nullptr;
    std::vector<std::string> cells = {label};
    for (const TPhaseResult* p : {q, v}) {
      if (!p || !p->Latency.Valid) {
        cells.insert(cells.end(), {kNone, kNone, kNone, kNone});
        continue;
      }
      for (double ms : {p->Latency.P1Ms, p->Latency.P50Ms, p->Latency.P99Ms, p->Latency.MaxMs})
        cells.push_back(Fmt("%.3f", ms));
    }
    const bool both = q && v && q->Latency.Valid && v->Latency.Valid;
    cells.push_back(both ? Ratio(v->Latency.P50Ms, q->Latency.P50Ms) : kNone);
    cells.push_back(both ? Ratio(v->Latency.P99Ms, q->Latency.P99Ms) : kNone);
    Row(Out, cells);
  }
  Out << "\n";
}

void Cpu(std::ostringstream& Out, const TPeriodResult& P, const TRelayResult* Q,
         const TRelayResult* V) {
  Out << "Relay CPU in ms per 10,000 messages (all its threads, user + system, over sending and "
         "draining, per "
         "message sent; net: less its idle CPU over the same time; the last net column per message "
         "delivered). "
         "At the lowest rates the figures are within the noise of the idle baseline.\n\n";
  Header(Out, {"phase", "qmidinet", "net", "net/delivered", "VORLANX", "net", "net/delivered",
               "net V/q", "net/delivered V/q"});
  auto cell = [](double X) { return Fmt("%.1f", X); };
  for (const auto& label : Labels(P)) {
    const TPhaseResult* q = Q ? Q->Phase(label) : nullptr;
    const TPhaseResult* v = V ? V->Phase(label) : nullptr;
    std::vector<std::string> cells = {label};
    for (const TPhaseResult* p : {q, v}) {
      cells.push_back(p ? cell(p->CpuPer10kMs) : kNone);
      cells.push_back(p ? cell(p->NetCpuPer10kMs) : kNone);
      cells.push_back(p && p->Received ? cell(NetPer10kDelivered(*p)) : kNone);
    }
    cells.push_back(q && v ? Ratio(v->NetCpuPer10kMs, q->NetCpuPer10kMs) : kNone);
    cells.push_back(q && v ? Ratio(NetPer10kDelivered(*v), NetPer10kDelivered(*q)) : kNone);
    Row(Out, cells);
  }
  const double qs = Q ? NetCpuPerMessageUs(*Q) : -1, vs = V ? NetCpuPerMessageUs(*V) : -1;
  const double qd = Q ? NetCpuPerMessageUs(*Q, true) : -1,
               vd = V ? NetCpuPerMessageUs(*V, true) : -1;
  auto us = [](double X) { return X >= 0 ? Fmt("%.2f", X) : std::string(kNone); };
  Row(Out, {"paced phases together, µs per message", kNone, us(qs), us(qd), kNone, us(vs), us(vd),
            Ratio(vs, qs), Ratio(vd, qd)});
  Out << "\n";
}

void IdleAndMemory(std::ostringstream& Out, const TRelayResult* Q, const TRelayResult* V,
                   double IdleSeconds) {
  Header(Out, {"", "qmidinet", "VORLANX", "V/q"});
  auto idle = [](const TRelayResult* R) {
    return R && R->NotRun.empty() ? R->Idle.CpuPercent : -1;
  };
  auto cell = [](double X, const char* F) { return X >= 0 ? Fmt(F, X) : std::string(kNone); };
  Row(Out, {Fmt("idle CPU over %.0f s, %% of a core", IdleSeconds), cell(idle(Q), "%.3f"),
            cell(idle(V), "%.3f"), Ratio(idle(V), idle(Q))});
  auto stat = [](const TRelayResult* R) {
    return R && R->NotRun.empty() ? R->Idle.StatCpuPercent : -1;
  };
  Row(Out,
      {"the same from /proc/PID/stat ticks", cell(stat(Q), "%.2f"), cell(stat(V), "%.2f"), kNone});
  auto runs = [](const TRelayResult* R) {
    return R && R->NotRun.empty() ? static_cast<double>(R->Idle.MainThreadRuns) : -1;
  };
  Row(Out,
      {"main-thread wake-ups while idle", cell(runs(Q), "%.0f"), cell(runs(V), "%.0f"), kNone});
  auto mem = [](const TRelayResult* R) {
    return R && R->NotRun.empty() ? static_cast<double>(R->Memory.PrivateKb()) : -1;
  };
  Row(Out, {"private memory (RssAnon + RssFile), KiB", cell(mem(Q), "%.0f"), cell(mem(V), "%.0f"),
            Ratio(mem(V), mem(Q))});
  auto anon = [](const TRelayResult* R) {
    return R && R->NotRun.empty() ? static_cast<double>(R->Memory.AnonKb) : -1;
  };
  auto file = [](const TRelayResult* R) {
    return R && R->NotRun.empty() ? static_cast<double>(R->Memory.FileKb) : -1;
  };
  Row(Out,
      {"  of which RssAnon / RssFile, KiB", cell(anon(Q), "%.0f") + " / " + cell(file(Q), "%.0f"),
       cell(anon(V), "%.0f") + " / " + cell(file(V), "%.0f"), kNone});
  Out << "\n";
}

void Mark(std::ostringstream& Out, bool Met, const std::string& Text) {
  Out << "- " << (Met ? "met" : "**not met**") << ": " << Text << "\n";
}

void Targets(std::ostringstream& Out, const std::vector<TPeriodResult>& Periods) {
  Out << "## VORLANX against its targets\n\n";
  bool any = false;
  for (const auto& P : Periods) {
    const TRelayResult* Q = Find(P, "qmidinet");
    const TRelayResult* V = Find(P, "VORLANX");
    if (!V || V->Phases.empty()) continue;
    any = true;
    const double periodMs = 1000.0 * P.Period / P.Rate;
    Out << "Period " << P.Period << ":\n\n";
    for (const auto& p : V->Phases) {
      if (p.Rate <= 0) {
        const double share = p.Sent ? 100.0 * p.Received / p.Sent : 0;
        const int64_t passed = static_cast<int64_t>(p.Sent) - p.RcvbufErrors;
        const double ofPassed = passed > 0 ? 100.0 * p.Received / passed : 0;
        Mark(Out, share >= 99.0,
             Fmt("burst delivered %.2f%%", share) +
                 " (at least 99%); the kernel's receive "
                 "buffer dropped " +
                 Int(p.RcvbufErrors) + Fmt(", and of the rest %.2f%% were delivered", ofPassed));
      } else {
        Mark(Out, p.Lost == 0 && p.Reordered == 0,
             p.Label + ": " + Int(p.Lost) + " lost, " + Int(p.Reordered) +
                 " reordered (none of either)");
      }
    }
    if (P.Period == 256)
      if (const TPhaseResult* p = V->Phase("1000/s"))
        if (p->Latency.Valid) {
          Mark(Out, p->Latency.P50Ms <= periodMs + 0.15,
               Fmt("latency p50 at 1000/s %.3f ms", p->Latency.P50Ms) +
                   Fmt(" (at most %.3f ms)", periodMs + 0.15));
          Mark(Out, p->Latency.P99Ms - p->Latency.P1Ms < 0.5,
               Fmt("latency p99 − p1 at 1000/s %.3f ms (below 0.5 ms)",
                   p->Latency.P99Ms - p->Latency.P1Ms));
        }
    if (Q && Q->NotRun.empty()) {
      const double q = NetCpuPerMessageUs(*Q), v = NetCpuPerMessageUs(*V);
      const double qd = NetCpuPerMessageUs(*Q, true), vd = NetCpuPerMessageUs(*V, true);
      Mark(Out, v <= q / 2,
           Fmt("CPU per message sent, net of idle, %.2f µs", v) +
               Fmt(" against qmidinet's %.2f µs (at most half)", q) +
               Fmt("; per message delivered %.2f µs", vd) + Fmt(" against %.2f µs", qd));
      Mark(Out, V->Idle.CpuPercent <= Q->Idle.CpuPercent / 2,
           Fmt("idle CPU %.3f%%", V->Idle.CpuPercent) +
               Fmt(" against qmidinet's %.3f%% (at most half)", Q->Idle.CpuPercent));
      Mark(Out, V->Memory.PrivateKb() <= Q->Memory.PrivateKb(),
           "private memory " + Int(V->Memory.PrivateKb()) + " KiB against qmidinet's " +
               Int(Q->Memory.PrivateKb()) + " KiB (no larger)");
    }
    Mark(Out, V->Idle.MainThreadRuns == 0,
         "main thread woke " + Int(V->Idle.MainThreadRuns) + " times while idle (not at all)");
    Out << "\n";
  }
  if (!any) Out << "VORLANX has no figures in this run (see above).\n\n";
}

}  // namespace

std::string DescribeMachine() {
  utsname u{};
  uname(&u);
  std::ostringstream s;
  s << CpuModel() << ", " << sysconf(_SC_NPROCESSORS_ONLN) << " cores, " << MemTotalMiB()
    << " MiB; Linux " << u.release << " " << u.machine << "; jackd2 "
    << Command("dpkg-query -W -f='${Version}' jackd2 2>/dev/null") << ", qmidinet "
    << Command("dpkg-query -W -f='${Version}' qmidinet 2>/dev/null");
  return s.str();
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::string FormatReport(const TRunInfo& Info, const std::vector<TPeriodResult>& Periods) {
  std::ostringstream out;
  out << "# Relay benchmark: VORLANX against qmidinet\n\n";
  out << "Run " << Info.Started << " on: " << Info.Machine << ". Load average (1, 5, 15 min) "
      << Info.LoadBefore << " before and " << Info.LoadAfter
      << " after the run: other work on the two cores shows in every figure, "
      << "the latency tails and the idle CPU most.\n\n";
  out << "Both relays run one after the other on the same private JACK server (dummy driver, 48000 "
         "Hz, "
         "not realtime) in a network namespace of the benchmark's own; paced phases last "
      << Fmt("%.1f", Info.PhaseSeconds)
      << " s. qmidinet receives UDP multicast through loopback, VORLANX unicast on "
      << "127.0.0.1. Ratios are VORLANX / qmidinet: below 1 is better.\n\n";
  out << "## Commands\n\n```\n";
  for (const auto& c : Info.Commands) out << c << "\n";
  out << "```\n\n";
  for (const auto& P : Periods) {
    out << "## Period " << P.Period << " frames (" << Fmt("%.3f", 1000.0 * P.Period / P.Rate)
        << " ms)\n\n";
    const TRelayResult* Q = Find(P, "qmidinet");
    const TRelayResult* V = Find(P, "VORLANX");
    for (const TRelayResult* r : {Q, V})
      if (r && !r->NotRun.empty()) out << "**" << r->Relay << "**: " << r->NotRun << "\n\n";
    if (P.Stale || P.Foreign)
      out << "The recorder also saw " << P.Stale << " events outside their phase and " << P.Foreign
          << " events no sender made.\n\n";
    Delivery(out, P, Q, V);
    Latency(out, P, Q, V);
    Cpu(out, P, Q, V);
    IdleAndMemory(out, Q, V, Info.IdleSeconds);
  }
  Targets(out, Periods);
  return out.str();
}

}  // namespace relaybench
