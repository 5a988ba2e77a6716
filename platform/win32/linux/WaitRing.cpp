#include "platform/win32/linux/WaitRing.h"

#include <atomic>

#ifdef VORLANX_HAVE_URING
#include <liburing.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#endif

namespace win32::internal {

namespace {
std::atomic<const RingClient*> g_client{nullptr};
}  // namespace

void SetRingClient(const RingClient* client) { g_client.store(client); }
const RingClient* CurrentRingClient() { return g_client.load(); }

#ifndef VORLANX_HAVE_URING

std::unique_ptr<WaitRing> WaitRing::Create() { return nullptr; }

#else

namespace {

// Larger than any IPv4 datagram, so nothing is ever cut.
constexpr size_t kBufferSize = 65536;
constexpr uint64_t kPoll = 1;
constexpr uint64_t kCancel = 2;
constexpr uint64_t kFirstReceive = 16;
constexpr int kChain = kRingReceivesPerSocket;

// One receive: its buffer (made on first use, kept) and what it came back with.
struct Receive {
  std::unique_ptr<char[]> buffer;
  msghdr msg{};
  iovec iov{};
  sockaddr_in from{};
  int result = 0;
  bool done = false;

  // Its buffer and the header that points at it, kept: the receive never moves.
  void Make() {
    buffer.reset(new char[kBufferSize]);
    iov = iovec{buffer.get(), kBufferSize};
    msg = msghdr{};
    msg.msg_name = &from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
  }
};

class UringWaitRing : public WaitRing {
 public:
  // Room for every request of a wait: the chains with a cancel each, and the poll.
  bool Init() { return ready_ = io_uring_queue_init(kMaxArmed * (kChain + 1) + 1, &ring_, 0) == 0; }
  ~UringWaitRing() override {
    if (ready_) io_uring_queue_exit(&ring_);
  }

  bool Wait(int epfd, const RingReceive* armed, int count, int timeoutMs, const RingClient& client,
            bool* epollReady) override {
    *epollReady = false;
    if (count > kMaxArmed) count = kMaxArmed;
    for (int i = 0; i < count; ++i) Arm(i, armed[i], timeoutMs == 0);
    if (!pollArmed_) {
      io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
      io_uring_prep_poll_add(sqe, epfd, POLLIN);
      io_uring_sqe_set_data64(sqe, kPoll);
      pollArmed_ = true;
    }
    WaitFor(timeoutMs);
    Reap(epollReady);
    Settle(count, epollReady);

    bool any = *epollReady;
    RingDatagram got[kChain];
    for (int i = 0; i < count; ++i) {
      const int length = Length(armed[i]);
      for (int k = 0; k < kChain; ++k)
        got[k] = k < length ? Outcome(receives_[kChain * i + k]) : RingDatagram{-ECANCELED};
      if (got[0].result != -ECANCELED) any = true;
      client.Received(armed[i].key, got);
    }
    return any;
  }

 private:
  // The chain: a receive that waits (or, when only looking, does not), and
  // non-blocking ones linked behind it; those past its end stay not run.
  static int Length(const RingReceive& armed) { return std::min(std::max(armed.receives, 1), kChain); }

  void Arm(int index, const RingReceive& armed, bool look) {
    const int length = Length(armed);
    Receive* chain = &receives_[kChain * index];
    // The whole chain's buffers at once: a chain that grows later allocates nothing.
    if (!chain[0].buffer)
      for (int k = 0; k < kChain; ++k) chain[k].Make();
    for (int k = 0; k < length; ++k) {
      Receive& r = chain[k];
      r.done = false;
      r.msg.msg_namelen = sizeof r.from;  // the kernel wrote the last sender's length there
      io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
      if (!sqe) return;  // never: the queue holds every request of a wait
      io_uring_prep_recvmsg(sqe, armed.fd, &r.msg, k > 0 || look ? MSG_DONTWAIT : 0);
      io_uring_sqe_set_data64(sqe, kFirstReceive + static_cast<uint64_t>(kChain * index + k));
      if (k + 1 < length) sqe->flags |= IOSQE_IO_LINK;
      ++pending_;
    }
  }

  void WaitFor(int timeoutMs) {
    io_uring_cqe* cqe = nullptr;
    if (timeoutMs == 0) {
      io_uring_submit(&ring_);
      return;
    }
    if (timeoutMs < 0) {
      // Until something completes: a signal ends the wait early, and then
      // whatever the kernel has not taken yet is submitted with the next one.
      int r;
      do r = io_uring_submit_and_wait(&ring_, 1);
      while ((r >= 0 || r == -EINTR) && io_uring_cq_ready(&ring_) == 0);
      return;
    }
    // A signal cuts a wait short; the rest of it is waited for.
    const int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
      __kernel_timespec ts{};
      const int64_t left = std::max<int64_t>(deadline - NowMs(), 0);
      ts.tv_sec = left / 1000;
      ts.tv_nsec = (left % 1000) * 1000000;
      const int r = io_uring_submit_and_wait_timeout(&ring_, &cqe, 1, &ts, nullptr);
      if (r != -EINTR || left == 0 || io_uring_cq_ready(&ring_) > 0) break;
    }
    // Anything not taken by the kernel yet (an interrupted submission) goes now.
    if (io_uring_sq_ready(&ring_) > 0) io_uring_submit(&ring_);
  }

  static int64_t NowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
  }

  void Reap(bool* epollReady) {
    unsigned head, seen = 0;
    io_uring_cqe* cqe;
    io_uring_for_each_cqe(&ring_, head, cqe) {
      ++seen;
      const uint64_t id = io_uring_cqe_get_data64(cqe);
      if (id == kPoll) {
        pollArmed_ = false;
        *epollReady = true;
      } else if (id >= kFirstReceive && id < kFirstReceive + kChain * kMaxArmed) {
        Receive& r = receives_[id - kFirstReceive];
        if (!r.done) --pending_;
        r.done = true;
        r.result = cqe->res;
      }
    }
    io_uring_cq_advance(&ring_, seen);
  }

  // Nothing that receives stays in flight: a waiting receive is cancelled
  // (those linked behind it go with it), and any still running is
  // awaited. Bounded: a cancel is answered at once.
  void Settle(int count, bool* epollReady) {
    for (int round = 0; pending_ > 0 && round < 100; ++round) {
      for (int i = 0; i < count; ++i) {
        Receive& first = receives_[kChain * i];
        if (first.done || round > 0) continue;
        io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
        if (!sqe) break;
        io_uring_prep_cancel64(sqe, kFirstReceive + static_cast<uint64_t>(kChain * i), 0);
        io_uring_sqe_set_data64(sqe, kCancel);
      }
      // Every request ends in a completion; the time limit only guards the loop.
      __kernel_timespec limit{1, 0};
      io_uring_cqe* cqe = nullptr;
      io_uring_submit_and_wait_timeout(&ring_, &cqe, 1, &limit, nullptr);
      Reap(epollReady);
    }
  }

  static RingDatagram Outcome(const Receive& r) {
    RingDatagram d;
    d.result = r.done ? r.result : -ECANCELED;
    if (d.result >= 0) {
      d.data = r.buffer.get();
      d.fromAddr = r.from.sin_addr.s_addr;
      d.fromPort = r.from.sin_port;
    }
    return d;
  }

  io_uring ring_{};
  bool ready_ = false;
  bool pollArmed_ = false;
  int pending_ = 0;
  Receive receives_[kChain * kMaxArmed];
};

}  // namespace

std::unique_ptr<WaitRing> WaitRing::Create() {
  std::unique_ptr<UringWaitRing> ring(new UringWaitRing);
  if (!ring->Init()) return nullptr;
  return ring;
}

#endif

}  // namespace win32::internal
