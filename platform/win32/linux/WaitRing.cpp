#include "platform/win32/linux/WaitRing.h"

#include <atomic>

#ifdef VORLANX_HAVE_URING
#include <liburing.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <stdlib.h>
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

constexpr int kBuffers = kRingBuffersPerSocket;
static_assert((kBuffers & (kBuffers - 1)) == 0, "a buffer ring's size is a power of two");
// The receive's header, the sender and the largest IPv4 datagram: nothing is
// ever cut. Pages a small datagram never touches cost nothing.
constexpr unsigned kBufferSize = sizeof(io_uring_recvmsg_out) + sizeof(sockaddr_in) + 65536;
// Those listed, and as many whose receive is being ended.
constexpr int kSeats = 2 * WaitRing::kMaxArmed;
constexpr uint64_t kPoll = 1;
constexpr uint64_t kCancel = 2;
constexpr uint64_t kFirstSeat = 16;

// A socket's place in the ring: its receive, its buffers (a buffer group of
// its own, registered once) and what the receive brought since last handed over.
struct Seat {
  uint64_t key = 0;  // 0: free
  int fd = -1;
  bool armed = false;  // its receive is in flight
  int provided = 0;    // buffers the kernel has
  unsigned spare = (1u << kBuffers) - 1;  // buffers neither the kernel's nor in use
  int count = 0;
  RingDatagram got[kBuffers + 1];  // at most one per buffer, and an error
  unsigned short bids[kBuffers + 1];
  std::unique_ptr<char[]> store;  // kBuffers * kBufferSize, made on first use
  io_uring_buf_ring* buffers = nullptr;

  char* Buffer(unsigned bid) const { return store.get() + size_t{bid} * kBufferSize; }
};

class UringWaitRing : public WaitRing {
 public:
  bool Init() {
    io_uring_params params{};
    // One thread uses the ring, and the kernel runs its work only inside that
    // thread's io_uring_enter: a receive takes datagrams only while it waits.
    params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN | IORING_SETUP_CQSIZE;
    params.cq_entries = 256;  // every buffer's completion, the cancels and the poll
    if (io_uring_queue_init_params(64, &ring_, &params) != 0) return false;
    ready_ = true;
    shape_.msg_namelen = sizeof(sockaddr_in);
    for (int i = 0; i < kSeats; ++i) {
      void* memory = nullptr;
      if (posix_memalign(&memory, 4096, kBuffers * sizeof(io_uring_buf)) != 0) return false;
      seats_[i].buffers = static_cast<io_uring_buf_ring*>(memory);
      io_uring_buf_ring_init(seats_[i].buffers);
      io_uring_buf_reg reg{};
      reg.ring_addr = reinterpret_cast<uintptr_t>(memory);
      reg.ring_entries = kBuffers;
      reg.bgid = static_cast<uint16_t>(i);
      if (io_uring_register_buf_ring(&ring_, &reg, 0) != 0) return false;
    }
    return true;
  }
  ~UringWaitRing() override {
    // The kernel lets go of every buffer with the ring, before they are freed.
    if (ready_) io_uring_queue_exit(&ring_);
    for (Seat& seat : seats_) free(seat.buffers);
  }

  bool Wait(int epfd, const RingSocket* listed, int count, int timeoutMs, const RingClient& client,
            bool* epollReady) override {
    *epollReady = false;
    unsigned seen = 0;  // seats listed by this wait
    for (int i = 0; i < count; ++i) {
      Seat* seat = Find(listed[i].key);
      if (!seat) seat = Claim(listed[i]);
      if (!seat) {
        client.Received(listed[i].key, nullptr, 0, false, false);  // never: there are seats for all
        continue;
      }
      seen |= Bit(*seat);
      if (!listed[i].take) continue;
      Feed(*seat);
      if (!seat->armed && seat->provided > 0) Arm(*seat);
    }
    for (unsigned rest = keyed_ & ~seen; rest; rest &= rest - 1) End(seats_[__builtin_ctz(rest)]);
    if (!pollArmed_) {
      io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
      io_uring_prep_poll_add(sqe, epfd, POLLIN);
      io_uring_sqe_set_data64(sqe, kPoll);
      pollArmed_ = true;
    }
    WaitFor(timeoutMs);
    Reap(epollReady);
    Settle(epollReady);
    const bool any = HandOver(client) || *epollReady;
    ReleaseEnded(~seen);
    return any;
  }

  void Cancel(uint64_t key, const RingClient& client) override {
    if (Seat* seat = Find(key)) EndNow(Bit(*seat), client);
  }

  void CancelAll(const RingClient& client) override { EndNow(keyed_, client); }

 private:
  // Ends the seats' receives outside a wait, hands over what any receive
  // took meanwhile, and frees the seats.
  void EndNow(unsigned seats, const RingClient& client) {
    for (unsigned rest = seats; rest; rest &= rest - 1) End(seats_[__builtin_ctz(rest)]);
    bool epollReady = false;  // the descriptor stays readable for the next wait's poll
    Settle(&epollReady);
    HandOver(client);
    ReleaseEnded(seats);
  }

  void ReleaseEnded(unsigned seats) {
    for (unsigned rest = seats & keyed_; rest; rest &= rest - 1) {
      Seat& seat = seats_[__builtin_ctz(rest)];
      if (!seat.armed) Release(seat);
    }
  }

  Seat* Find(uint64_t key) {
    for (unsigned rest = keyed_; rest; rest &= rest - 1) {
      Seat& seat = seats_[__builtin_ctz(rest)];
      if (seat.key == key) return &seat;
    }
    return nullptr;
  }

  // A seat whose receive has ended (a released one is never armed).
  Seat* Claim(const RingSocket& socket) {
    const unsigned free = ~keyed_ & ((1u << kSeats) - 1);
    if (!free) return nullptr;
    Seat& seat = seats_[__builtin_ctz(free)];
    if (!seat.store) seat.store.reset(new char[size_t{kBuffers} * kBufferSize]);  // first use only
    seat.key = socket.key;
    seat.fd = socket.fd;
    keyed_ |= Bit(seat);
    return &seat;
  }

  // Buffers left with the kernel stay there for the seat's next socket.
  void Release(Seat& seat) {
    seat.key = 0;
    seat.fd = -1;
    keyed_ &= ~Bit(seat);
  }

  int Index(const Seat& seat) const { return static_cast<int>(&seat - seats_); }
  unsigned Bit(const Seat& seat) const { return 1u << Index(seat); }

  // Every spare buffer back to the kernel (user space only: the ring's tail).
  void Feed(Seat& seat) {
    int added = 0;
    for (unsigned bid = 0; bid < kBuffers; ++bid) {
      if (!(seat.spare & (1u << bid))) continue;
      io_uring_buf_ring_add(seat.buffers, seat.Buffer(bid), kBufferSize,
                            static_cast<unsigned short>(bid), io_uring_buf_ring_mask(kBuffers),
                            added++);
    }
    if (added == 0) return;
    io_uring_buf_ring_advance(seat.buffers, added);
    seat.provided += added;
    seat.spare = 0;
  }

  void Arm(Seat& seat) {
    io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
    if (!sqe) return;  // never: the queue holds every request of a wait
    io_uring_prep_recvmsg_multishot(sqe, seat.fd, &shape_, 0);
    sqe->flags |= IOSQE_BUFFER_SELECT;
    sqe->buf_group = static_cast<uint16_t>(Index(seat));
    io_uring_sqe_set_data64(sqe, kFirstSeat + static_cast<uint64_t>(Index(seat)));
    seat.armed = true;
    heard_ |= Bit(seat);  // the client learns that it is armed
  }

  void End(Seat& seat) {
    if (!seat.armed || (ending_ & Bit(seat))) return;
    io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
    if (!sqe) return;
    io_uring_prep_cancel64(sqe, kFirstSeat + static_cast<uint64_t>(Index(seat)), 0);
    io_uring_sqe_set_data64(sqe, kCancel);
    ending_ |= Bit(seat);
  }

  void WaitFor(int timeoutMs) {
    io_uring_cqe* cqe = nullptr;
    if (timeoutMs == 0) {
      // A look: the kernel runs what came due, without waiting.
      io_uring_submit_and_get_events(&ring_);
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
    if (io_uring_sq_ready(&ring_) > 0) io_uring_submit_and_get_events(&ring_);
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
      } else if (id >= kFirstSeat && id < kFirstSeat + kSeats) {
        Completed(seats_[id - kFirstSeat], *cqe);
      }
    }
    io_uring_cq_advance(&ring_, seen);
  }

  void Completed(Seat& seat, const io_uring_cqe& cqe) {
    heard_ |= Bit(seat);
    if (cqe.flags & IORING_CQE_F_BUFFER) {
      const unsigned bid = (cqe.flags >> IORING_CQE_BUFFER_SHIFT) & (kBuffers - 1);
      --seat.provided;
      io_uring_recvmsg_out* out =
          cqe.res >= 0 ? io_uring_recvmsg_validate(seat.Buffer(bid), cqe.res, &shape_) : nullptr;
      if (out && seat.count < kBuffers + 1) {
        RingDatagram& d = seat.got[seat.count];
        d.result = static_cast<int>(io_uring_recvmsg_payload_length(out, cqe.res, &shape_));
        d.data = static_cast<const char*>(io_uring_recvmsg_payload(out, &shape_));
        const auto* from = static_cast<const sockaddr_in*>(io_uring_recvmsg_name(out));
        d.fromAddr = out->namelen >= sizeof *from ? from->sin_addr.s_addr : 0;
        d.fromPort = out->namelen >= sizeof *from ? from->sin_port : 0;
        seat.bids[seat.count++] = static_cast<unsigned short>(bid);
      } else {
        seat.spare |= 1u << bid;
      }
    } else if (cqe.res < 0 && cqe.res != -ENOBUFS && cqe.res != -ECANCELED &&
               seat.count < kBuffers + 1) {
      // The socket's error (a datagram socket's ECONNREFUSED), after what came before it.
      RingDatagram& d = seat.got[seat.count];
      d = RingDatagram{cqe.res};
      seat.bids[seat.count++] = kBuffers;  // no buffer
    }
    if (!(cqe.flags & IORING_CQE_F_MORE)) {
      seat.armed = false;
      ending_ &= ~Bit(seat);
    }
  }

  // Receives being ended are waited for: a cancel is answered at once.
  void Settle(bool* epollReady) {
    for (int round = 0; round < 100 && ending_; ++round) {
      __kernel_timespec limit{1, 0};  // only guards the loop
      io_uring_cqe* cqe = nullptr;
      io_uring_submit_and_wait_timeout(&ring_, &cqe, 1, &limit, nullptr);
      Reap(epollReady);
    }
  }

  // Every seat's news to the client; the buffers its datagrams were in are
  // spare again once it has taken them.
  bool HandOver(const RingClient& client) {
    bool any = false;
    unsigned heard = heard_;
    heard_ = 0;
    for (; heard; heard &= heard - 1) {
      Seat& seat = seats_[__builtin_ctz(heard)];
      const int n = seat.count;
      // Still armed after a datagram: its last try found the queue empty.
      const bool emptyBehind = seat.armed && n > 0 && seat.got[n - 1].result >= 0;
      if (seat.key) client.Received(seat.key, seat.got, n, seat.armed, emptyBehind);
      for (int k = 0; k < n; ++k)
        if (seat.bids[k] < kBuffers) seat.spare |= 1u << seat.bids[k];
      seat.count = 0;
      any = any || n > 0;
    }
    return any;
  }

  io_uring ring_{};
  bool ready_ = false;
  bool pollArmed_ = false;
  msghdr shape_{};  // what each receive fills in: the sender's address
  unsigned keyed_ = 0;   // seats with a socket
  unsigned heard_ = 0;   // seats with something to hand over
  unsigned ending_ = 0;  // seats whose receive a cancel is on its way to
  Seat seats_[kSeats];
};

}  // namespace

std::unique_ptr<WaitRing> WaitRing::Create() {
  std::unique_ptr<UringWaitRing> ring(new UringWaitRing);
  if (!ring->Init()) return nullptr;
  return ring;
}

#endif

}  // namespace win32::internal
