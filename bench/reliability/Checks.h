// The reliability checks: each prints what it did and its figures, and returns
// whether everything held.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace reliability {

// Resident memory (kB) and open descriptors of a process (0 for this one).
long RssKb(pid_t Pid = 0);
int OpenFds(pid_t Pid = 0);
// CPU time in clock ticks.
long CpuTicks(pid_t Pid);

// Random datagrams (0..65,507 bytes) and valid messages, paced at Rate per
// second, into the headless relay on a private JACK server.
bool Flood(long Count, long Rate, const std::string& Relay);
// The JACK server killed under traffic, then the receiving client killed.
bool Faults(const std::string& Relay);
// Steady traffic for Seconds at Rate: resident memory sampled.
bool Soak(long Seconds, long Rate, const std::string& Relay);
// Listen/close and connect/accept/close cycles in this process.
bool Cycles(long Datagram, long Stream);

}  // namespace reliability
