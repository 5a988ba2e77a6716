// WSAAsyncSelect: socket readiness becomes posted notifications, following
// Winsock's re-enabling rules.
//
// Each registered socket is a watch of its window thread's queue, with one-shot
// interest: when it fires, the interest is spent without a system call, so a
// socket whose notification is pending never keeps the wait handle readable.
// The interest wanted next follows from the rules below; it is installed when a
// call re-enables an event, or, for what a readiness report leaves armed, by
// the callback that took the report. A datagram socket takes what waits when
// readiness is reported (ReadAhead.cpp) and announces datagrams it holds to
// the queue itself. When it is watched for reading only, its interest is a
// standing edge-triggered one instead: every arrival is reported once, a
// report while FD_READ is pending is dropped (the receive to come finds the
// datagram), and no notification costs an epoll_ctl. Where the queue waits
// through its ring (WaitRing.h), such a socket leaves the epoll set instead:
// the ring's receive, armed across waits, takes its datagrams while the
// thread waits, and they then count as read ahead.
//   FD_READ    once; again after recv/recvfrom (if data is still there)
//   FD_WRITE   once when writable; again after a send failed with WSAEWOULDBLOCK
//   FD_ACCEPT  once; again after accept
//   FD_CONNECT once, with the connect's error
//   FD_CLOSE   once, after any FD_READ for data still waiting
#include "platform/winsock/linux/SocketTable.h"

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>

namespace winsock {

using namespace internal;

namespace internal {

namespace {

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

// A datagram socket watched for reading only, whose queue waits through its
// ring: the wait may receive for it.
bool RingEligible(const SocketState& s) {
  return s.type != ws::kSockStream && s.queue && Wants(s, FD_READ) && !s.blocking &&
         s.phase == Phase::Connected && !(Wants(s, FD_WRITE) && s.writeArmed) &&
         win32::internal::RingDriving(*s.queue);
}

// One the wait receives for, which epoll then does not watch. A wait arms a
// few sockets at most: the rest stay under epoll.
bool RingDriven(const SocketState& s) { return s.ringSeat && RingEligible(s); }

thread_local const win32::internal::ThreadQueue* t_seatQueue;
thread_local int t_seatsTaken;

void CountSeat(SocketState& s) {
  if (s.ringSeat && s.queue.get() == t_seatQueue) ++t_seatsTaken;
}

// A seat for an eligible socket while its queue's wait has one free; given
// back when the socket is no longer eligible. Every change of what makes a
// socket eligible reaches InstallInterest, which calls this first.
void UpdateSeatLocked(SocketState& s) {
  const bool eligible = RingEligible(s);
  if (s.ringSeat == eligible) return;
  if (eligible) {
    t_seatQueue = s.queue.get();
    t_seatsTaken = 0;
    ForEachSocketLocked(&CountSeat);
    if (t_seatsTaken >= win32::internal::WaitRing::kMaxArmed) return;
  }
  s.ringSeat = eligible;
}

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
    // Reading only: a standing edge-triggered interest, never re-armed. Each
    // datagram that arrives is reported once; every receive either holds the
    // next one (announced, see SyncLocked) or saw the queue empty.
    // (The seat was brought up to date just before, see InstallInterest.)
    if (Wants(s, FD_READ) && want == 0) return s.ringSeat ? 0u : uint32_t{EPOLLIN | EPOLLET};
    // A datagram read ahead is announced instead (see SyncLocked).
    if (Wants(s, FD_READ) && !s.readPending && !s.ahead.Held()) want |= EPOLLIN;
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

// Straight into the queue the registration found for the window: a window
// never changes threads, and one destroyed meanwhile drops the message when
// it is dispatched.
void Post(const SocketState& s, const Notifications& n) {
  for (int i = 0; i < n.count; ++i)
    win32::internal::PostToQueue(
        *s.queue, s.hwnd, s.msg, static_cast<win32::WPARAM>(s.fd),
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

void OnReady(int fd, uint32_t events, void* context);

bool EnsureWatch(SocketState& s) {
  if (!s.watch) {
    // The generation tells this socket from a later one with the same number.
    void* generation = reinterpret_cast<void*>(static_cast<uintptr_t>(s.generation));
    s.watch = win32::internal::AddWatch(*s.queue, s.fd, 0, &OnReady, generation);
  }
  return s.watch != 0;
}

void InstallInterest(SocketState& s) {
  UpdateSeatLocked(s);
  const uint32_t want = DesiredInterest(s);
  if (want == s.installed || !s.queue || !EnsureWatch(s)) return;
  const uint32_t mode = (want & EPOLLET) ? 0u : uint32_t{EPOLLONESHOT};
  const bool ok = win32::internal::ChangeWatch(*s.queue, s.watch, want ? want | mode : 0);
  s.installed = ok ? want : 0;
}

void SyncLocked(SocketState& s) {
  Notifications n;
  if (s.peerClosed) RecheckClosed(s, n);
  // A datagram read ahead is data waiting that the kernel no longer reports:
  // the queue hears of it from us. FD_READ then follows from the next look
  // if it is still there, so a handler that goes on receiving in a loop
  // leaves no stray notification behind.
  if (s.type != ws::kSockStream && Wants(s, FD_READ) && !s.readPending && s.ahead.Held() &&
      !s.announced && s.queue && EnsureWatch(s)) {
    s.announced = true;
    win32::internal::AnnounceReady(*s.queue, s.watch);
  }
  InstallInterest(s);
  Post(s, n);
}

// Readiness of one registered socket, on its window's thread inside a look.
void OnReady(int fd, uint32_t events, void* context) {
  std::lock_guard<std::mutex> lock(TableMutex());
  const auto generation = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(context));
  SocketState* found = FindLocked(static_cast<SOCKET>(fd));
  if (found && found->generation != generation) found = nullptr;
  if (!found) return;
  SocketState& s = *found;
  Notifications n;
  if (events == 0) {
    // Announced by SyncLocked: the kernel's interest is untouched.
    s.announced = false;
    if (s.type != ws::kSockStream && Wants(s, FD_READ) && !s.readPending && s.ahead.Held()) {
      s.readPending = true;
      n.Add(FD_READ, 0);
    }
    Post(s, n);
    SyncLocked(s);
    return;
  }
  if (!(s.installed & EPOLLET)) s.installed = 0;  // the one-shot interest is spent
  if (events & EPOLLIN) {
    // Something came after the last look at the queue.
    s.ahead.knownEmpty = false;
    s.ahead.emptyBehind = false;
    PublishPendingLocked(s);
  }
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
        if (!stream) ReadAheadOnReadyLocked(s);
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
  Post(s, n);
  SyncLocked(s);
}

// ---- The ring's client: on the queue's thread, inside its wait ----

struct ArmContext {
  win32::internal::ThreadQueue* queue;
  win32::internal::RingSocket* out;
  int max;
  int count;
};
thread_local ArmContext t_arm;

// Every socket the queue's ring serves; one that holds nothing and has nothing
// pending takes datagrams (its receive armed, its buffers given back).
void ArmOne(SocketState& s) {
  ArmContext& c = t_arm;
  if (c.count >= c.max || s.queue.get() != c.queue || !RingDriven(s)) return;
  const bool take = !s.readPending && !s.ahead.Held() && !s.announced;
  if (take && s.ringQueue != s.queue) s.ringQueue = s.queue;
  c.out[c.count++] = win32::internal::RingSocket{s.fd, s.Key(), take};
}

int RingArm(win32::internal::ThreadQueue& queue, win32::internal::RingSocket* out, int max) {
  std::lock_guard<std::mutex> lock(TableMutex());
  t_arm = ArmContext{&queue, out, max, 0};
  ForEachSocketLocked(&ArmOne);
  return t_arm.count;
}

// As readiness followed by the read ahead: FD_READ once, for what came.
void RingReceived(uint64_t key, const win32::internal::RingDatagram* got, int count, bool armed,
                  bool emptyBehind) {
  std::lock_guard<std::mutex> lock(TableMutex());
  SocketState* found = FindByKeyLocked(key);
  if (!found) return;  // closed meanwhile: what came is dropped with it
  SocketState& s = *found;
  if (!armed) s.ringQueue.reset();
  if (count == 0) return;
  TakeRingDatagramsLocked(s, got, count, emptyBehind);
  Notifications n;
  if (Wants(s, FD_READ) && !s.readPending && s.ahead.Held() && s.queue) {
    s.readPending = true;
    n.Add(FD_READ, 0);
  }
  Post(s, n);
  // Nothing more to bring up to date: what the ring took changes neither the
  // socket's interest (none while the ring serves it) nor its seat, and what
  // it holds is announced by FD_READ, now or by the receive that re-enables it.
}

thread_local win32::internal::ThreadQueue* t_modeQueue;

void Reinstall(SocketState& s) {
  if (s.queue.get() == t_modeQueue) InstallInterest(s);
}

// In or out of the epoll set, as the queue now waits.
void RingModeChanged(win32::internal::ThreadQueue& queue) {
  std::lock_guard<std::mutex> lock(TableMutex());
  t_modeQueue = &queue;
  ForEachSocketLocked(&Reinstall);
}

const win32::internal::RingClient kRingClient = {&RingArm, &RingReceived, &RingModeChanged};

}  // namespace

void RegisterRingClient() { win32::internal::SetRingClient(&kRingClient); }

void InterestChangedLocked(SocketState& s) {
  if (!s.queue) return;
  // Installed at once: a handler may go on to wait in a modal loop of its own,
  // which must still be woken by this socket. Only the first call that
  // re-enables an event gets here, so a receive loop costs one epoll_ctl.
  SyncLocked(s);
}

void ReadReenabledLocked(SocketState& s) {
  // A datagram socket may have read ahead or found its queue empty: interest
  // follows what it holds.
  bool changed = s.readPending || s.type != ws::kSockStream;
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
  // The ring's receive ends at its thread's next wait, which this starts
  // when that is another thread (until then the port stays taken); on its own
  // thread, closesocket ends it at once.
  if (s.ringQueue &&
      win32::internal::OwnerThread(*s.ringQueue) != win32::GetCurrentThreadId())
    win32::internal::InterruptWait(*s.ringQueue);
  s.ringSeat = false;
  if (s.watch && s.queue) win32::internal::RemoveWatch(*s.queue, s.watch);
  s.watch = 0;
  s.announced = false;
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
  static const bool ringClient = (RegisterRingClient(), true);
  (void)ringClient;
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
  // Installed again even when unchanged: a standing interest may have had its
  // reports dropped while FD_READ was pending, and installing looks afresh.
  st->installed = 0;
  InterestChangedLocked(*st);
  return 0;
}

}  // namespace winsock
