#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "LookupRuns.h"

namespace dnsbench {

namespace {

int ThreadsNow() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  int n = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "Threads:", 8) == 0) n = std::atoi(line + 8);
  std::fclose(f);
  return n;
}

}  // namespace

struct TThreadSampler::TState {
  std::atomic<bool> stop{false};
  std::atomic<int> peak{0};
  std::thread thread;
};

TThreadSampler::TThreadSampler() : FState(new TState) {
  FState->peak = ThreadsNow();  // before the sampler itself exists
  FState->thread = std::thread([s = FState] {
    while (!s->stop) {
      const int n = ThreadsNow() - 1;
      if (n > s->peak) s->peak = n;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
}

TThreadSampler::~TThreadSampler() {
  Stop();
  delete FState;
}

int TThreadSampler::Stop() {
  if (FState->thread.joinable()) {
    FState->stop = true;
    FState->thread.join();
  }
  return FState->peak;
}

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace dnsbench
