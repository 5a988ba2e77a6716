// One clock for every time the benchmark compares: CLOCK_MONOTONIC in ns.
#pragma once

#include <cstdint>
#include <ctime>

namespace relaybench {

inline int64_t MonotonicNs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

}  // namespace relaybench
