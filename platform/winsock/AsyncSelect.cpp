// WSAAsyncSelect: socket readiness becomes posted notifications, following
// Winsock's re-enabling rules.
//
// Each registered socket sits in its window thread's epoll set with one-shot
// interest: when it fires, the interest is spent without a system call, so a
// socket whose notification is pending never keeps the wait handle readable.
// The interest wanted next follows from the rules below; it is installed when a
// call re-enables an event (the first recvfrom after an FD_READ: one epoll_ctl
// per notification, however many datagrams the handler then takes), or, for
// what a readiness report leaves armed, at the end of the look that took it.
//   FD_READ    once; again after recv/recvfrom (if data is still there)
//   FD_WRITE   once when writable; again after a send failed with WSAEWOULDBLOCK
//   FD_ACCEPT  once; again after accept
//   FD_CONNECT once, with the connect's error
//   FD_CLOSE   once, after any FD_READ for data still waiting
#include "platform/winsock/SocketTable.h"

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <vector>

namespace winsock {

using namespace internal;

namespace internal {

namespace {

// Keys of sockets whose readiness this thread's current look took.
thread_local std::vector<uint64_t> t_deferred;

struct Notification {
  long event;
  unsigned error;
};

// At most one of each event comes out of one readiness report.
struct Notifications {
  Notification items[5];
  int count = 0;
  void Add(long event, unsigned error) { items[count++] = {event, error}; }
};

bool Wants(const SocketState& s, long event) { return (s.events & event) != 0; }

uint32_t DesiredInterest(const SocketState& s) {
  if (!s.queue || s.events == 0) return 0;
  switch (s.phase) {
    case Phase::Fresh:
    case Phase::Failed:
      return 0;
    case Phase::Connecting:
      return EPOLLOUT;
    case Phase::Listening:
      return Wants(s, FD_ACCEPT) && !s.acceptPending ? uint32_t{EPOLLIN} : 0u;
    case Phase::Connected:
      break;
  }
  uint32_t want = 0;
  if (Wants(s, FD_WRITE) && s.writeArmed) want |= EPOLLOUT;
  if (s.type != ws::kSockStream) {
    if (Wants(s, FD_READ) && !s.readPending) want |= EPOLLIN;
    return want;
  }
  // A closed connection stays readable forever: it is no longer watched for
  // reading; what is left is found by the check after each receive.
  if (!s.peerClosed && !s.receiveShut) {
    if (Wants(s, FD_READ) && !s.readPending) want |= EPOLLIN | EPOLLRDHUP;
    if (Wants(s, FD_CLOSE) && !s.closeReported) want |= EPOLLRDHUP;
  }
  return want;
}

int PendingBytes(int fd) {
  int n = 0;
  return ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

int SocketError(int fd) {
  int err = 0;
  socklen_t len = sizeof err;
  ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
  return err;
}

unsigned CloseError(int err) {
  switch (err) {
    case 0:
      return 0;
    case EPIPE:
    case ECONNRESET:
      return WSAECONNRESET;
    case ETIMEDOUT:
      return WSAECONNABORTED;
    default:
      return static_cast<unsigned>(ErrorFromErrno(err));
  }
}

void Post(const SocketState& s, const Notifications& n) {
  for (int i = 0; i < n.count; ++i)
    win32::PostMessageA(
        s.hwnd, s.msg, static_cast<win32::WPARAM>(s.fd),
        WSAMAKESELECTREPLY(static_cast<unsigned>(n.items[i].event), n.items[i].error));
}

// Notifications a closed connection still owes: FD_READ for data left behind
// after a receive, FD_CLOSE after a new registration.
void RecheckClosed(SocketState& s, Notifications& n) {
  if (!s.recheckClosed) return;
  s.recheckClosed = false;
  if (Wants(s, FD_READ) && !s.readPending && PendingBytes(s.fd) > 0) {
    s.readPending = true;
    n.Add(FD_READ, 0);
  }
  if (Wants(s, FD_CLOSE) && !s.closeReported) {
    s.closeReported = true;
    n.Add(FD_CLOSE, s.closeError);
  }
}

void InstallInterest(SocketState& s) {
  const uint32_t want = DesiredInterest(s);
  if (want == s.installed) return;
  const int epfd = s.queue ? win32::internal::EpollDescriptor(*s.queue) : -1;
  if (want == 0) {
    // Removed rather than emptied: epoll reports errors and hang-ups even to
    // an empty interest set.
    if (s.inSet && epfd >= 0) epoll_ctl(epfd, EPOLL_CTL_DEL, s.fd, nullptr);
    s.inSet = false;
    s.installed = 0;
    return;
  }
  if (epfd < 0) return;
  epoll_event ev{};
  ev.events = want | EPOLLONESHOT;
  ev.data.u64 = s.Key();
  int r = epoll_ctl(epfd, s.inSet ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, s.fd, &ev);
  if (r != 0 && errno == ENOENT) r = epoll_ctl(epfd, EPOLL_CTL_ADD, s.fd, &ev);
  if (r != 0 && errno == EEXIST) r = epoll_ctl(epfd, EPOLL_CTL_MOD, s.fd, &ev);
  s.inSet = r == 0;
  s.installed = r == 0 ? want : 0;
}

void SyncLocked(SocketState& s) {
  Notifications n;
  if (s.peerClosed) RecheckClosed(s, n);
  InstallInterest(s);
  Post(s, n);
}

void Defer(const SocketState& s) {
  const uint64_t key = s.Key();
  if (t_deferred.empty() || t_deferred.back() != key) t_deferred.push_back(key);
}

// Readiness of one registered socket, on its window's thread inside a look.
void OnReady(uint64_t key, uint32_t events) {
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* found = FindByKeyLocked(key);
  if (!found) return;
  SocketState& s = *found;
  s.installed = 0;  // the one-shot interest is spent
  Notifications n;
  switch (s.phase) {
    case Phase::Connecting:
      if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
        int err = SocketError(s.fd);
        if (err == 0 && (events & EPOLLHUP) && !(events & EPOLLOUT)) err = ECONNREFUSED;
        if (err != 0) {
          s.phase = Phase::Failed;
          if (Wants(s, FD_CONNECT)) n.Add(FD_CONNECT, static_cast<unsigned>(ErrorFromErrno(err)));
        } else {
          s.phase = Phase::Connected;
          if (Wants(s, FD_CONNECT)) n.Add(FD_CONNECT, 0);
          if (Wants(s, FD_WRITE) && s.writeArmed) {
            s.writeArmed = false;
            n.Add(FD_WRITE, 0);
          }
        }
      }
      break;
    case Phase::Listening:
      if (Wants(s, FD_ACCEPT) && !s.acceptPending && (events & (EPOLLIN | EPOLLERR | EPOLLHUP))) {
        s.acceptPending = true;
        n.Add(FD_ACCEPT, 0);
      }
      break;
    case Phase::Connected: {
      const bool stream = s.type == ws::kSockStream;
      const bool ending = stream && !s.peerClosed && (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR));
      if (ending) {
        s.peerClosed = true;
        s.closeError = (events & EPOLLERR) ? CloseError(SocketError(s.fd)) : 0;
        if (Wants(s, FD_READ) && !s.readPending && PendingBytes(s.fd) > 0) {
          s.readPending = true;
          n.Add(FD_READ, 0);
        }
      } else if (Wants(s, FD_READ) && !s.readPending &&
                 (events & (stream ? EPOLLIN : EPOLLIN | EPOLLERR))) {
        s.readPending = true;
        n.Add(FD_READ, 0);
      }
      if (Wants(s, FD_WRITE) && s.writeArmed && (events & EPOLLOUT)) {
        s.writeArmed = false;
        n.Add(FD_WRITE, 0);
      }
      if (ending && Wants(s, FD_CLOSE) && !s.closeReported) {
        s.closeReported = true;
        n.Add(FD_CLOSE, s.closeError);
      }
      break;
    }
    case Phase::Fresh:
    case Phase::Failed:
      break;
  }
  // The look that called us installs the next interest before it returns.
  Defer(s);
  Post(s, n);
}

// Applies this thread's deferred interest changes.
void FlushDeferred() {
  if (t_deferred.empty()) return;
  std::vector<uint64_t> keys;
  keys.swap(t_deferred);
  std::lock_guard<std::mutex> lock(TableMutex());
  for (uint64_t key : keys)
    if (SocketState* s = FindByKeyLocked(key)) SyncLocked(*s);
  // Keep the vector's storage for the next round.
  keys.clear();
  if (t_deferred.empty()) t_deferred.swap(keys);
}

}  // namespace

void InterestChangedLocked(SocketState& s) {
  if (!s.queue) return;
  // Installed at once: a handler may go on to wait in a modal loop of its own,
  // which must still be woken by this socket. Only the first call that
  // re-enables an event gets here, so a receive loop costs one epoll_ctl.
  SyncLocked(s);
}

void ReadReenabledLocked(SocketState& s) {
  bool changed = s.readPending;
  s.readPending = false;
  if (s.peerClosed && !s.recheckClosed) {
    s.recheckClosed = true;
    changed = true;
  }
  if (changed) InterestChangedLocked(s);
}

void WriteBlockedLocked(SocketState& s) {
  if (s.writeArmed) return;
  s.writeArmed = true;
  InterestChangedLocked(s);
}

void AcceptReenabledLocked(SocketState& s) {
  if (!s.acceptPending) return;
  s.acceptPending = false;
  InterestChangedLocked(s);
}

void DetachLocked(SocketState& s) {
  if (s.inSet && s.queue) {
    const int epfd = win32::internal::EpollDescriptor(*s.queue);
    if (epfd >= 0) epoll_ctl(epfd, EPOLL_CTL_DEL, s.fd, nullptr);
  }
  s.inSet = false;
  s.installed = 0;
  s.queue.reset();
  s.events = 0;
}

void InheritSelectLocked(SocketState& accepted, const SocketState& listener) {
  if (listener.events == 0 || !listener.queue) return;
  accepted.hwnd = listener.hwnd;
  accepted.msg = listener.msg;
  accepted.events = listener.events;
  accepted.queue = listener.queue;
  accepted.notifiedHwnd = listener.hwnd;
  accepted.notifiedMsg = listener.msg;
  accepted.writeArmed = true;
  InterestChangedLocked(accepted);
}

}  // namespace internal

int WSAAsyncSelect(SOCKET s, win32::HWND hwnd, win32::UINT msg, long events) {
  if (!CheckStarted()) return SOCKET_ERROR;
  win32::internal::SetDescriptorHandlers(&OnReady, &FlushDeferred);
  win32::internal::QueuePtr queue;
  if (events != 0) {
    queue = win32::internal::QueueOfWindow(hwnd);
    if (!queue) return Fail(WSAEINVAL);
  }
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* st = FindLocked(s);
  if (!st) return Fail(WSAENOTSOCK);
  if (st->blocking) {
    int one = 1;
    if (ioctl(st->fd, FIONBIO, &one) != 0) return FailWithErrno();
    st->blocking = false;
  }
  // A new registration replaces the old one and looks at the socket afresh.
  if (st->queue != queue) DetachLocked(*st);
  st->hwnd = hwnd;
  st->msg = msg;
  st->events = events;
  st->queue = std::move(queue);
  if (events != 0) {
    st->notifiedHwnd = hwnd;
    st->notifiedMsg = msg;
  }
  st->readPending = false;
  st->writeArmed = true;
  st->acceptPending = false;
  st->closeReported = false;
  st->recheckClosed = st->peerClosed;
  InterestChangedLocked(*st);
  return 0;
}

}  // namespace winsock
