#include "Report.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ReportTables.h"

namespace relaybench {
namespace {

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

}  // namespace

std::string DescribeMachine() {
  utsname u{};
  uname(&u);
  std::ostringstream s;
  s << CpuModel() << ", " << sysconf(_SC_NPROCESSORS_ONLN) << " cores, " << MemTotalMiB()
    << " MiB; Linux " << u.release << " " << u.machine << "; jackd2 "
    << Command("dpkg-query -W -f='${Version}' jackd2 2>/dev/null") << ", qmidinet "
    << Command("dpkg-query -W -f='${Version}' qmidinet 2>/dev/null") << ", valgrind "
    << Command("dpkg-query -W -f='${Version}' valgrind 2>/dev/null");
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
  out << "# Relay benchmark: the minimal relay, VORLANX and qmidinet\n\n";
  out << "Run " << Info.Started << " on: " << Info.Machine << ". Load average (1, 5, 15 min) "
      << Info.LoadBefore << " before and " << Info.LoadAfter
      << " after the run: other work on the two cores shows in every CPU time and latency "
         "tail; the counts of system calls and instructions do not depend on it.\n\n";
  out << "The relays run one after the other on the same private JACK server (dummy driver, "
         "48000 Hz, not realtime) in a network namespace of the benchmark's own, in "
      << Info.Rounds
      << " interleaved rounds (each round starts with the next relay); each figure is the median "
         "over the rounds, with the lowest and highest in brackets. Paced phases last "
      << Fmt("%.1f", Info.PhaseSeconds)
      << " s. The minimal relay (bench/relay/minimal_relay.cpp) is the floor: one blocking "
         "`recv` per datagram on one thread, the three-byte rule, a JACK ring buffer, a process "
         "callback that plays each message one period after it arrived. qmidinet receives UDP "
         "multicast through loopback, the other two unicast on 127.0.0.1.\n\n";
  out << "## Commands\n\n```\n";
  for (const auto& c : Info.Commands) out << c << "\n";
  out << "```\n\n";
  for (const auto& P : Periods) {
    out << "## Period " << P.Period << " frames (" << Fmt("%.3f", 1000.0 * P.Period / P.Rate)
        << " ms)\n\n";
    for (const auto& r : P.Relays)
      for (size_t i = 0; i < r.Rounds.size(); ++i)
        if (!r.Rounds[i].NotRun.empty())
          out << "**" << r.Relay << "**, round " << i + 1 << ": " << r.Rounds[i].NotRun << "\n\n";
    if (P.Stale || P.Foreign)
      out << "The recorder also saw " << P.Stale << " events outside their phase and " << P.Foreign
          << " events no sender made.\n\n";
    DeliveryTable(out, P);
    LatencyTable(out, P);
    CpuTable(out, P);
    SyscallTable(out, P);
    IdleTable(out, P, Info.IdleSeconds);
    CountsTable(out, P, Info.CountSeconds);
  }
  Targets(out, Periods);
  return out.str();
}

}  // namespace relaybench
