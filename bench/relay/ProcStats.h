// What /proc tells about a relay process and about UDP inside this network
// namespace.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace relaybench {

struct TCpuSample {
  int64_t Ns = -1;         // the process CPU clock: all threads, user + system
  int64_t StatTicks = -1;  // utime + stime of /proc/PID/stat, the same sum in clock ticks
  int64_t SysTicks = -1;   // stime alone: the kernel's share
  int64_t MainNs = -1;     // the main thread's time on a CPU (schedstat), user + system
  int64_t MainRuns = -1;   // how often the main thread was put on a CPU (schedstat)
  int64_t AtNs = 0;        // CLOCK_MONOTONIC when sampled
};

TCpuSample SampleCpu(pid_t Pid);
// A whole file's text; empty when it cannot be read.
std::string ReadWholeFile(const std::string& Path);
double StatTickNs();

struct TMemory {
  long AnonKb = -1;
  long FileKb = -1;
  long ShmemKb = -1;  // JACK's shared memory, mapped by every client: not private
  long PrivateKb() const { return AnonKb < 0 || FileKb < 0 ? -1 : AnonKb + FileKb; }
};

TMemory SampleMemory(pid_t Pid);

struct TUdpCounters {
  int64_t InDatagrams = 0;
  int64_t NoPorts = 0;
  int64_t InErrors = 0;
  int64_t RcvbufErrors = 0;
};

// The "Udp:" lines of /proc/net/snmp, as this process's network namespace sees them.
TUdpCounters SampleUdp();
// The same parse, of a text given (for checking it without /proc).
TUdpCounters ParseUdpCounters(const std::string& Snmp);

// True once some socket is bound to Port (any local address), per /proc/net/udp.
bool UdpPortBound(uint16_t Port);

}  // namespace relaybench
