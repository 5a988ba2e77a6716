// One benchmark run: N lookups issued at once from one thread, optionally
// cancelling every other one right after, then waiting for every answer that
// is still due. Each way of looking names up is one Run* function; they live
// in separate files because the component's Winsock names and the system's
// socket headers do not mix.
#pragma once

#include <string>
#include <vector>

namespace dnsbench {

struct TRunResult {
  double Seconds = 0;   // from the first request to the last answer
  int PeakThreads = 0;  // of the whole process while it ran
  int Answered = 0;     // answers with an address (or name)
  int Failed = 0;       // answers with an error, or requests that could not start
  int Cancelled = 0;    // requests withdrawn
};

// The socket component: one TWSocket per lookup, DnsLookup / StopDnsLookup.
TRunResult RunVorlanx(const std::vector<std::string>& Names, bool CancelEveryOther);
// A thread of its own per lookup, each calling getaddrinfo (a cancel only
// silences the answer).
TRunResult RunThreadPerLookup(const std::vector<std::string>& Names, bool CancelEveryOther);
// glibc's getaddrinfo_a with gai_cancel.
TRunResult RunGetaddrinfoA(const std::vector<std::string>& Names, bool CancelEveryOther);
// libuv's uv_getaddrinfo on its default thread pool, with uv_cancel.
TRunResult RunLibuv(const std::vector<std::string>& Names, bool CancelEveryOther);

// Samples the process's thread count every millisecond on a thread of its own
// (not counted) until stopped.
class TThreadSampler {
 public:
  TThreadSampler();
  ~TThreadSampler();
  int Stop();  // the peak seen

 private:
  struct TState;
  TState* FState;
};

double NowSeconds();

}  // namespace dnsbench
