#include "net/SocksTimer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct TDue {
  Clock::time_point At;
  win32::HWND Window;
  win32::UINT Msg;
  uint32_t Serial;
};

class TDelayedPoster {
 public:
  ~TDelayedPoster() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FStop = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
  }

  void Add(const TDue& Due) {
    std::lock_guard<std::mutex> lock(FMutex);
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    FDue.push_back(Due);
    FWake.notify_all();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(FMutex);
    while (!FStop) {
      if (FDue.empty()) {
        FWake.wait(lock);
        continue;
      }
      auto next = std::min_element(FDue.begin(), FDue.end(),
                                   [](const TDue& a, const TDue& b) { return a.At < b.At; });
      if (Clock::now() < next->At) {
        // A copy: the wait lets Add grow the list, which may move its entries.
        const Clock::time_point at = next->At;
        FWake.wait_until(lock, at);
        continue;
      }
      TDue due = *next;
      FDue.erase(next);
      lock.unlock();
      win32::PostMessageA(due.Window, due.Msg, due.Serial, 0);  // a window gone drops it
      lock.lock();
    }
  }

  std::mutex FMutex;
  std::condition_variable FWake;
  std::vector<TDue> FDue;
  bool FStop = false;
  std::thread FThread;
};

TDelayedPoster& Poster() {
  static TDelayedPoster poster;
  return poster;
}

}  // namespace

void WSocketPostAfter(win32::HWND Window, win32::UINT Msg, uint32_t Serial, int32_t DelayMs) {
  Poster().Add({Clock::now() + std::chrono::milliseconds(DelayMs), Window, Msg, Serial});
}

uint32_t WSocketNextSerial() {
  static std::atomic<uint32_t> serial{0};
  return ++serial;
}
