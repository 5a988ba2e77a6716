// The side-by-side tables (Markdown), printed and written to the results file.
#pragma once

#include <string>
#include <vector>

#include "Results.h"

namespace relaybench {

struct TRunInfo {
  std::string Started;                // local date and time
  std::string Machine;                // processor, cores, memory, kernel, package versions
  std::string LoadBefore, LoadAfter;  // /proc/loadavg: other work on the machine skews every figure
  std::vector<std::string> Commands;  // how the benchmark and what it started were run
  double PhaseSeconds = 0;
  double IdleSeconds = 0;
  unsigned Rounds = 1;
  double CountSeconds = 0;
};

std::string DescribeMachine();
std::string LoadAverage();
std::string FormatReport(const TRunInfo& Info, const std::vector<TPeriodResult>& Periods);

}  // namespace relaybench
