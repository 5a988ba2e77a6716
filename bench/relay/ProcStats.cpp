#include "ProcStats.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

#include "Clock.h"

namespace relaybench {

std::string ReadWholeFile(const std::string& Path) {
  std::ifstream in(Path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

namespace {

std::string ReadFile(const std::string& Path) { return ReadWholeFile(Path); }

// utime and stime: fields 14 and 15, counted after the ")" that ends the command name.
void ReadStatTicks(pid_t Pid, TCpuSample* Sample) {
  std::string stat = ReadFile("/proc/" + std::to_string(Pid) + "/stat");
  size_t close = stat.rfind(')');
  if (close == std::string::npos) return;
  std::istringstream rest(stat.substr(close + 2));
  std::string field;
  int64_t utime = -1, stime = -1;
  for (int n = 3; rest >> field; ++n) {
    if (n == 14) utime = std::stoll(field);
    if (n == 15) {
      stime = std::stoll(field);
      break;
    }
  }
  if (utime < 0 || stime < 0) return;
  Sample->StatTicks = utime + stime;
  Sample->SysTicks = stime;
}

}  // namespace

double StatTickNs() { return 1e9 / static_cast<double>(sysconf(_SC_CLK_TCK)); }

TCpuSample SampleCpu(pid_t Pid) {
  TCpuSample s;
  s.AtNs = MonotonicNs();
  clockid_t clock;
  timespec t;
  if (clock_getcpuclockid(Pid, &clock) == 0 && clock_gettime(clock, &t) == 0)
    s.Ns = static_cast<int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec;
  ReadStatTicks(Pid, &s);
  // schedstat: time on CPU, time waiting, number of times run.
  std::istringstream sched(
      ReadFile("/proc/" + std::to_string(Pid) + "/task/" + std::to_string(Pid) + "/schedstat"));
  int64_t run, wait, count;
  if (sched >> run >> wait >> count) {
    s.MainNs = run;
    s.MainRuns = count;
  }
  return s;
}

TMemory SampleMemory(pid_t Pid) {
  TMemory m;
  std::istringstream status(ReadFile("/proc/" + std::to_string(Pid) + "/status"));
  std::string line;
  while (std::getline(status, line)) {
    long kb;
    if (std::sscanf(line.c_str(), "RssAnon: %ld", &kb) == 1) m.AnonKb = kb;
    if (std::sscanf(line.c_str(), "RssFile: %ld", &kb) == 1) m.FileKb = kb;
    if (std::sscanf(line.c_str(), "RssShmem: %ld", &kb) == 1) m.ShmemKb = kb;
  }
  return m;
}

TUdpCounters ParseUdpCounters(const std::string& Snmp) {
  TUdpCounters c;
  std::istringstream in(Snmp);
  std::string line;
  std::vector<std::string> names;
  while (std::getline(in, line)) {
    if (line.rfind("Udp:", 0) != 0) continue;
    std::istringstream fields(line.substr(4));
    std::vector<std::string> items;
    for (std::string f; fields >> f;) items.push_back(f);
    if (names.empty()) {
      names = items;  // the header line comes first
      continue;
    }
    for (size_t i = 0; i < names.size() && i < items.size(); ++i) {
      const int64_t v = std::stoll(items[i]);
      if (names[i] == "InDatagrams") c.InDatagrams = v;
      if (names[i] == "NoPorts") c.NoPorts = v;
      if (names[i] == "InErrors") c.InErrors = v;
      if (names[i] == "RcvbufErrors") c.RcvbufErrors = v;
    }
    break;
  }
  return c;
}

TUdpCounters SampleUdp() { return ParseUdpCounters(ReadFile("/proc/net/snmp")); }

bool UdpPortBound(uint16_t Port) {
  std::istringstream in(ReadFile("/proc/net/udp"));
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    unsigned slot, address, port;
    if (std::sscanf(line.c_str(), " %u: %x:%x", &slot, &address, &port) == 3 && port == Port)
      return true;
  }
  return false;
}

}  // namespace relaybench
