#include "Results.h"

#include <algorithm>
#include <cmath>

#include "Recorder.h"

namespace relaybench {

double Percentile(const std::vector<double>& Sorted, double P) {
  if (Sorted.empty()) return 0;
  size_t rank = static_cast<size_t>(std::ceil(P / 100.0 * static_cast<double>(Sorted.size())));
  rank = std::min(std::max<size_t>(rank, 1), Sorted.size());
  return Sorted[rank - 1];
}

TLatency MeasureLatency(const int64_t* SendNs, const TCapture& Capture, uint32_t Count) {
  std::vector<double> ms;
  ms.reserve(Count);
  for (uint32_t i = 0; i < Count; ++i)
    if (SendNs[i] != 0 && Capture.VisibleNs[i] != 0)
      ms.push_back(static_cast<double>(Capture.VisibleNs[i] - SendNs[i]) / 1e6);
  TLatency l;
  if (ms.empty()) return l;
  std::sort(ms.begin(), ms.end());
  l.Valid = true;
  l.P1Ms = Percentile(ms, 1);
  l.P50Ms = Percentile(ms, 50);
  l.P99Ms = Percentile(ms, 99);
  l.MaxMs = ms.back();
  return l;
}

}  // namespace relaybench
