// WSAAsyncGetHostByName/ByAddr and WSACancelAsyncRequest. Lookups wait in one
// queue served by a few worker threads, started when work arrives and ended
// after a while without any. The caller's buffer is written, and the completion
// posted, only under the lock that cancelling takes, so nothing touches either
// once a cancel has succeeded.
#include "platform/winsock/linux/HostEntry.h"

#include "platform/win32/linux/QueueInternal.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace winsock {

using namespace internal;

namespace {

// Enough to overlap a few slow answers; more only adds threads that wait on
// the same resolver.
constexpr int kMaxWorkers = 4;
constexpr auto kWorkerIdleTime = std::chrono::seconds(10);
// Completions posted but perhaps not yet dispatched are remembered (so that a
// cancel can take them back); they are checked against the queues once this
// many have piled up, and the mark grows with what is still queued.
constexpr size_t kPruneStart = 64;

struct Request {
  HANDLE handle = 0;
  win32::HWND hwnd = nullptr;
  win32::UINT msg = 0;
  char* buf = nullptr;
  int buflen = 0;
  std::function<int(HostRecord*)> work;
};
using RequestPtr = std::shared_ptr<Request>;

// A completion already posted; cancelling takes it back off the queue while it
// has not been dispatched.
struct Posted {
  win32::HWND hwnd;
  win32::UINT msg;
};

struct Lookups {
  std::mutex mu;
  std::condition_variable wake;
  // Requests not yet finished nor cancelled, by handle. A cancel removes the
  // entry; the worker then drops the request (still queued) or its answer.
  std::unordered_map<HANDLE, RequestPtr> live;
  std::deque<RequestPtr> waiting;  // in arrival order; cancelled ones are skipped
  std::unordered_map<HANDLE, Posted> posted;
  std::deque<HANDLE> postedOrder;  // oldest first; may name handles no longer in posted
  size_t pruneMark = kPruneStart;
  int workers = 0;
  int idle = 0;
  HANDLE nextHandle = 1;
};

Lookups& State() {
  static Lookups* lookups = new Lookups;  // workers may outlive static destruction
  return *lookups;
}

// Forgets posted completions that have left their queues (dispatched), oldest
// first, stopping at the first one still waiting.
void PruneDispatched(Lookups& l) {
  if (l.postedOrder.size() < l.pruneMark) return;
  while (!l.postedOrder.empty()) {
    const HANDLE h = l.postedOrder.front();
    auto it = l.posted.find(h);
    if (it != l.posted.end()) {
      if (win32::internal::HasPostedMessage(it->second.hwnd, it->second.msg,
                                            static_cast<win32::WPARAM>(h)))
        break;
      l.posted.erase(it);
    }
    l.postedOrder.pop_front();
  }
  l.pruneMark = std::max(kPruneStart, 2 * l.postedOrder.size());
}

// Called with the lock held.
void Finish(Lookups& l, const RequestPtr& req, int error, const HostRecord& record) {
  auto it = l.live.find(req->handle);
  if (it == l.live.end() || it->second != req) return;  // cancelled
  l.live.erase(it);
  unsigned length = 0;
  if (error == 0) {
    const size_t size = HostEntrySize(record);
    length = static_cast<unsigned>(size);
    if (size > static_cast<size_t>(req->buflen))
      error = WSAENOBUFS;  // the length then tells how much would be needed
    else
      PackHostEntry(record, req->buf);
  }
  if (!win32::PostMessageA(req->hwnd, req->msg, static_cast<win32::WPARAM>(req->handle),
                           WSAMAKEASYNCREPLY(length, static_cast<unsigned>(error))))
    return;  // the window's thread has gone
  l.posted[req->handle] = {req->hwnd, req->msg};
  l.postedOrder.push_back(req->handle);
  PruneDispatched(l);
}

void Worker() {
  Lookups& l = State();
  std::unique_lock<std::mutex> lock(l.mu);
  for (;;) {
    if (l.waiting.empty()) {
      ++l.idle;
      const bool woken =
          l.wake.wait_for(lock, kWorkerIdleTime, [&l] { return !l.waiting.empty(); });
      --l.idle;
      if (!woken) break;
    }
    RequestPtr req = std::move(l.waiting.front());
    l.waiting.pop_front();
    auto it = l.live.find(req->handle);
    if (it == l.live.end() || it->second != req) continue;  // cancelled while waiting
    lock.unlock();
    HostRecord record;
    const int error = req->work(&record);
    lock.lock();
    Finish(l, req, error, record);
  }
  --l.workers;
}

// Called with the lock held: a worker for every waiting request that no idle
// one will take, up to the limit. False when none could be started and none runs.
bool EnsureWorker(Lookups& l) {
  if (static_cast<int>(l.waiting.size()) <= l.idle || l.workers >= kMaxWorkers) return true;
  try {
    std::thread(Worker).detach();
    ++l.workers;
  } catch (const std::system_error&) {
  }
  return l.workers > 0;
}

HANDLE Start(win32::HWND hwnd, win32::UINT msg, char* buf, int buflen,
             std::function<int(HostRecord*)> work) {
  if (!CheckStarted()) return 0;
  if (!win32::IsWindow(hwnd)) {
    WSASetLastError(WSAEINVAL);
    return 0;
  }
  if (!buf || buflen <= 0) {
    WSASetLastError(WSAEFAULT);
    return 0;
  }
  auto req = std::make_shared<Request>();
  req->hwnd = hwnd;
  req->msg = msg;
  req->buf = buf;
  req->buflen = buflen;
  req->work = std::move(work);
  Lookups& l = State();
  std::lock_guard<std::mutex> lock(l.mu);
  do {
    req->handle = l.nextHandle++;
    if (l.nextHandle <= 0) l.nextHandle = 1;
  } while (l.live.count(req->handle) || l.posted.count(req->handle));
  l.live[req->handle] = req;
  l.waiting.push_back(req);
  if (!EnsureWorker(l)) {
    l.live.erase(req->handle);
    l.waiting.pop_back();
    WSASetLastError(WSAENOBUFS);
    return 0;
  }
  if (l.idle > 0) l.wake.notify_one();  // busy workers look at the queue before waiting
  return req->handle;
}

}  // namespace

HANDLE WSAAsyncGetHostByName(win32::HWND hwnd, win32::UINT msg, const char* name, char* buf,
                             int buflen) {
  if (!name) {
    WSASetLastError(WSAEFAULT);
    return 0;
  }
  return Start(hwnd, msg, buf, buflen, [text = std::string(name)](HostRecord* out) {
    return ResolveHostByName(text.c_str(), out);
  });
}

HANDLE WSAAsyncGetHostByAddr(win32::HWND hwnd, win32::UINT msg, const char* addr, int len, int type,
                             char* buf, int buflen) {
  if (type != ws::kAfInet) {
    WSASetLastError(WSAEAFNOSUPPORT);
    return 0;
  }
  if (!addr || len != 4) {
    WSASetLastError(WSAEFAULT);
    return 0;
  }
  uint32_t address;
  std::memcpy(&address, addr, 4);
  return Start(hwnd, msg, buf, buflen,
               [address](HostRecord* out) { return ResolveHostByAddr(address, out); });
}

int WSACancelAsyncRequest(HANDLE handle) {
  if (!CheckStarted()) return SOCKET_ERROR;
  Lookups& l = State();
  std::lock_guard<std::mutex> lock(l.mu);
  if (l.live.erase(handle)) return 0;
  auto it = l.posted.find(handle);
  if (it != l.posted.end()) {
    const Posted done = it->second;
    l.posted.erase(it);
    // Finished but not yet dispatched: the completion is withdrawn, so the
    // cancel holds and the caller never hears of the lookup again.
    if (win32::internal::RemovePostedMessage(done.hwnd, done.msg,
                                             static_cast<win32::WPARAM>(handle)))
      return 0;
  }
  return Fail(WSAEINVAL);
}

namespace internal {

void CancelAllLookups() {
  Lookups& l = State();
  std::lock_guard<std::mutex> lock(l.mu);
  l.live.clear();
  l.waiting.clear();
  l.posted.clear();
  l.postedOrder.clear();
  l.pruneMark = kPruneStart;
}

}  // namespace internal

}  // namespace winsock
