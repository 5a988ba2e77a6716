// WSAAsyncGetHostByName/ByAddr and WSACancelAsyncRequest. Each lookup runs on a
// thread of its own; the caller's buffer is written only under the lock that
// cancelling takes, so nothing touches it once a cancel has succeeded.
#include "platform/winsock/HostEntry.h"

#include "platform/win32/QueueInternal.h"

#include <cstring>
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

struct Request {
  HANDLE handle = 0;
  win32::HWND hwnd = nullptr;
  win32::UINT msg = 0;
  char* buf = nullptr;
  int buflen = 0;
};

// A completion already posted; cancelling takes it back off the queue while it
// has not been dispatched.
struct Completed {
  HANDLE handle;
  win32::HWND hwnd;
  win32::UINT msg;
};

struct Lookups {
  std::mutex mu;
  std::unordered_map<HANDLE, std::shared_ptr<Request>> running;
  std::deque<Completed> recent;
  HANDLE nextHandle = 1;
};

constexpr size_t kRecentCompletions = 256;

Lookups& State() {
  static Lookups* lookups = new Lookups;
  return *lookups;
}

void Finish(const std::shared_ptr<Request>& req, int error, const HostRecord& record) {
  Lookups& l = State();
  std::lock_guard<std::mutex> lock(l.mu);
  auto it = l.running.find(req->handle);
  if (it == l.running.end() || it->second != req) return;  // cancelled
  l.running.erase(it);
  unsigned length = 0;
  if (error == 0) {
    const size_t size = HostEntrySize(record);
    length = static_cast<unsigned>(size);
    if (size > static_cast<size_t>(req->buflen))
      error = WSAENOBUFS;  // the length then tells how much would be needed
    else
      PackHostEntry(record, req->buf);
  }
  win32::PostMessageA(req->hwnd, req->msg, static_cast<win32::WPARAM>(req->handle),
                      WSAMAKEASYNCREPLY(length, static_cast<unsigned>(error)));
  l.recent.push_back({req->handle, req->hwnd, req->msg});
  if (l.recent.size() > kRecentCompletions) l.recent.pop_front();
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
  Lookups& l = State();
  {
    std::lock_guard<std::mutex> lock(l.mu);
    req->handle = l.nextHandle++;
    if (l.nextHandle <= 0) l.nextHandle = 1;
    l.running[req->handle] = req;
  }
  try {
    std::thread([req, work = std::move(work)] {
      HostRecord record;
      int error = work(&record);
      Finish(req, error, record);
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(l.mu);
    l.running.erase(req->handle);
    WSASetLastError(WSAENOBUFS);
    return 0;
  }
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
  if (l.running.erase(handle)) return 0;
  for (auto it = l.recent.begin(); it != l.recent.end(); ++it) {
    if (it->handle != handle) continue;
    const Completed done = *it;
    l.recent.erase(it);
    // Finished but not yet dispatched: the completion is withdrawn, so the
    // cancel holds and the caller never hears of the lookup again.
    if (win32::internal::RemovePostedMessage(done.hwnd, done.msg,
                                             static_cast<win32::WPARAM>(done.handle)))
      return 0;
    break;
  }
  return Fail(WSAEINVAL);
}

namespace internal {

void CancelAllLookups() {
  Lookups& l = State();
  std::lock_guard<std::mutex> lock(l.mu);
  l.running.clear();
  l.recent.clear();
}

}  // namespace internal

}  // namespace winsock
