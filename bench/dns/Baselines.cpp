// What a program would use instead of the component: a thread per lookup,
// glibc's getaddrinfo_a, and libuv's thread pool.
#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <uv.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "LookupRuns.h"

namespace dnsbench {

namespace {

addrinfo Hints() {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  return hints;
}

}  // namespace

TRunResult RunThreadPerLookup(const std::vector<std::string>& Names, bool CancelEveryOther) {
  enum TState : char { kPending, kDone, kCancelled };
  struct TShared {
    std::mutex mu;
    std::vector<TState> state;
    int answered = 0, failed = 0;
    int efd = eventfd(0, EFD_CLOEXEC);
    ~TShared() { close(efd); }
  };
  auto shared = std::make_shared<TShared>();
  shared->state.assign(Names.size(), kPending);
  TRunResult r;
  int due = 0;
  TThreadSampler sampler;
  const double start = NowSeconds();
  for (size_t i = 0; i < Names.size(); ++i) {
    try {
      std::thread([shared, i, name = Names[i]] {
        const addrinfo hints = Hints();
        addrinfo* list = nullptr;
        const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
        if (list) freeaddrinfo(list);
        {
          std::lock_guard<std::mutex> lock(shared->mu);
          if (shared->state[i] == kCancelled) return;
          shared->state[i] = kDone;
          ++(rc == 0 ? shared->answered : shared->failed);
        }
        const uint64_t one = 1;
        (void)!write(shared->efd, &one, sizeof one);
      }).detach();
      ++due;
    } catch (const std::system_error&) {
      shared->state[i] = kDone;
      ++r.Failed;
    }
  }
  if (CancelEveryOther) {
    // Only silences the answer: getaddrinfo itself cannot be stopped.
    std::lock_guard<std::mutex> lock(shared->mu);
    for (size_t i = 1; i < Names.size(); i += 2)
      if (shared->state[i] == kPending) {
        shared->state[i] = kCancelled;
        ++r.Cancelled;
      }
  }
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(shared->mu);
      if (shared->answered + shared->failed + r.Cancelled >= due) break;
    }
    uint64_t n;
    if (read(shared->efd, &n, sizeof n) < 0) break;
  }
  r.Seconds = NowSeconds() - start;
  r.PeakThreads = sampler.Stop();
  std::lock_guard<std::mutex> lock(shared->mu);
  r.Answered = shared->answered;
  r.Failed += shared->failed;
  return r;
}

TRunResult RunGetaddrinfoA(const std::vector<std::string>& Names, bool CancelEveryOther) {
  const size_t n = Names.size();
  const addrinfo hints = Hints();
  std::vector<gaicb> blocks(n);
  std::vector<gaicb*> list(n);
  for (size_t i = 0; i < n; ++i) {
    blocks[i] = gaicb{};
    blocks[i].ar_name = Names[i].c_str();
    blocks[i].ar_request = &hints;
    list[i] = &blocks[i];
  }
  TRunResult r;
  TThreadSampler sampler;
  const double start = NowSeconds();
  sigevent none{};
  none.sigev_notify = SIGEV_NONE;
  if (getaddrinfo_a(GAI_NOWAIT, list.data(), static_cast<int>(n), &none) != 0) {
    r.Failed = static_cast<int>(n);
    return r;
  }
  // A request taken back by gai_cancel keeps reading EAI_INPROGRESS: it is
  // not waited for.
  std::vector<bool> withdrawn(n, false);
  if (CancelEveryOther)
    for (size_t i = 1; i < n; i += 2)
      if (gai_cancel(&blocks[i]) == EAI_CANCELED) {
        withdrawn[i] = true;
        ++r.Cancelled;
      }
  for (size_t i = 0; i < n; ++i) {
    if (withdrawn[i]) continue;
    const gaicb* one[1] = {&blocks[i]};
    int rc;
    while ((rc = gai_error(&blocks[i])) == EAI_INPROGRESS) gai_suspend(one, 1, nullptr);
    ++(rc == 0 ? r.Answered : r.Failed);
  }
  r.Seconds = NowSeconds() - start;
  r.PeakThreads = sampler.Stop();
  for (gaicb& b : blocks)
    if (b.ar_result) freeaddrinfo(b.ar_result);
  return r;
}

TRunResult RunLibuv(const std::vector<std::string>& Names, bool CancelEveryOther) {
  struct TRequest {
    uv_getaddrinfo_t req;
    TRunResult* result;
  };
  const size_t n = Names.size();
  uv_loop_t* loop = uv_default_loop();
  const addrinfo hints = Hints();
  std::vector<TRequest> requests(n);
  TRunResult r;
  TThreadSampler sampler;
  const double start = NowSeconds();
  for (size_t i = 0; i < n; ++i) {
    requests[i].result = &r;
    const int rc = uv_getaddrinfo(
        loop, &requests[i].req,
        [](uv_getaddrinfo_t* req, int status, addrinfo* res) {
          TRunResult* result = reinterpret_cast<TRequest*>(req)->result;
          if (status == UV_EAI_CANCELED)
            ++result->Cancelled;
          else if (status == 0)
            ++result->Answered;
          else
            ++result->Failed;
          uv_freeaddrinfo(res);
        },
        Names[i].c_str(), nullptr, &hints);
    if (rc != 0) ++r.Failed;
  }
  if (CancelEveryOther)
    for (size_t i = 1; i < n; i += 2) uv_cancel(reinterpret_cast<uv_req_t*>(&requests[i].req));
  uv_run(loop, UV_RUN_DEFAULT);
  r.Seconds = NowSeconds() - start;
  r.PeakThreads = sampler.Stop();
  return r;
}

}  // namespace dnsbench
