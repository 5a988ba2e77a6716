// The minimal relay's io_uring loops. One io_uring_enter waits, and the
// datagrams come with it. They differ in how the receive is armed:
//   uring       a multishot recv into a ring of small provided buffers (the
//               least io_uring can do for this job);
//   uring-msg   a multishot recvmsg with the sender's address, into buffers
//               that take any datagram whole (what a socket layer must keep);
//   uring-pair  a recvmsg armed afresh for each wait, a non-blocking one linked
//               behind it (does another wait?), and a cancel when the wait
//               ended without them, so that between waits the socket's queue
//               is the kernel's alone.
#include <liburing.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "minimal_relay.h"

namespace {

constexpr uint64_t kReceive = 1, kPosted = 2, kBehind = 3, kCancel = 4;

io_uring MakeRing() {
  io_uring ring;
  if (io_uring_queue_init(16, &ring, 0) != 0) std::fprintf(stderr, "no io_uring\n"), std::exit(1);
  return ring;
}

// The eventfd's poll, left armed for good.
void WatchPosted(io_uring& ring) {
  const int posted = eventfd(0, EFD_NONBLOCK);
  io_uring_sqe* sqe = io_uring_get_sqe(&ring);
  io_uring_prep_poll_multishot(sqe, posted, POLLIN);
  sqe->user_data = kPosted;
}

// Buffers for a multishot receive: Count of Size bytes in group 1.
class BufferRing {
 public:
  BufferRing(io_uring& Ring, unsigned Count, unsigned Size)
      : FCount(Count), FSize(Size), FStore(new uint8_t[size_t{Count} * Size]) {
    void* memory = nullptr;
    if (posix_memalign(&memory, 4096, Count * sizeof(io_uring_buf)) != 0) std::exit(1);
    FRing = static_cast<io_uring_buf_ring*>(memory);
    io_uring_buf_ring_init(FRing);
    io_uring_buf_reg reg{};
    reg.ring_addr = reinterpret_cast<uintptr_t>(FRing);
    reg.ring_entries = Count;
    reg.bgid = kGroup;
    if (io_uring_register_buf_ring(&Ring, &reg, 0) != 0)
      std::fprintf(stderr, "no buffer ring\n"), std::exit(1);
    for (unsigned i = 0; i < Count; ++i) Give(i, static_cast<int>(i));
    io_uring_buf_ring_advance(FRing, Count);
  }
  static constexpr unsigned short kGroup = 1;
  uint8_t* At(unsigned Id) { return FStore.get() + size_t{Id} * FSize; }
  unsigned Size() const { return FSize; }
  // Back to the kernel once its datagram is played.
  void Return(unsigned Id) {
    Give(Id, 0);
    io_uring_buf_ring_advance(FRing, 1);
  }

 private:
  void Give(unsigned Id, int Offset) {
    io_uring_buf_ring_add(FRing, At(Id), FSize, static_cast<unsigned short>(Id),
                          io_uring_buf_ring_mask(FCount), Offset);
  }
  unsigned FCount, FSize;
  std::unique_ptr<uint8_t[]> FStore;
  io_uring_buf_ring* FRing = nullptr;
};

// Waits for the next completions and hands each to Take; returns when they are seen.
template <typename F>
void TakeCompletions(io_uring& Ring, F&& Take) {
  io_uring_cqe* cqe;
  if (io_uring_wait_cqe(&Ring, &cqe) != 0) return;
  unsigned head, seen = 0;
  io_uring_for_each_cqe(&Ring, head, cqe) {
    ++seen;
    Take(*cqe);
  }
  io_uring_cq_advance(&Ring, seen);
}

// A multishot loop: Arm submits the receive, Play plays one completion's
// datagram from its buffer.
template <typename A, typename P>
[[noreturn]] void MultishotLoop(io_uring& Ring, BufferRing& Buffers, A&& Arm, P&& Play) {
  WatchPosted(Ring);
  Arm();
  io_uring_submit(&Ring);
  for (;;) {
    bool rearm = false;
    TakeCompletions(Ring, [&](const io_uring_cqe& c) {
      if (c.user_data != kReceive) return;
      if (c.res >= 0 && (c.flags & IORING_CQE_F_BUFFER)) {
        const unsigned id = c.flags >> IORING_CQE_BUFFER_SHIFT;
        Play(Buffers.At(id), c.res);
        Buffers.Return(id);
      }
      if (!(c.flags & IORING_CQE_F_MORE)) rearm = true;  // buffers ran out, or an error
    });
    if (rearm) {
      Arm();
      io_uring_submit(&Ring);
    }
  }
}

}  // namespace

[[noreturn]] void UringLoop(int Fd) {
  io_uring ring = MakeRing();
  BufferRing buffers(ring, 256, 64);
  // A datagram longer than the buffer is cut to it, and dropped as too long.
  MultishotLoop(
      ring, buffers,
      [&] {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring);
        io_uring_prep_recv_multishot(sqe, Fd, nullptr, 0, 0);
        sqe->flags |= IOSQE_BUFFER_SELECT;
        sqe->buf_group = BufferRing::kGroup;
        sqe->user_data = kReceive;
      },
      [](const uint8_t* Data, int Size) { Relay(Data, Size); });
}

[[noreturn]] void UringMessageLoop(int Fd) {
  io_uring ring = MakeRing();
  // Room for the header, the sender and the largest datagram; the pages a
  // small datagram never touches cost nothing.
  constexpr unsigned kSize = sizeof(io_uring_recvmsg_out) + sizeof(sockaddr_in) + 65536;
  BufferRing buffers(ring, 16, kSize);
  msghdr shape{};
  shape.msg_namelen = sizeof(sockaddr_in);
  MultishotLoop(
      ring, buffers,
      [&] {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring);
        io_uring_prep_recvmsg_multishot(sqe, Fd, &shape, 0);
        sqe->flags |= IOSQE_BUFFER_SELECT;
        sqe->buf_group = BufferRing::kGroup;
        sqe->user_data = kReceive;
      },
      [&](uint8_t* Data, int Size) {
        io_uring_recvmsg_out* out = io_uring_recvmsg_validate(Data, Size, &shape);
        if (!out || (out->flags & MSG_TRUNC)) return;
        Relay(static_cast<const uint8_t*>(io_uring_recvmsg_payload(out, &shape)),
              io_uring_recvmsg_payload_length(out, Size, &shape));
      });
}

[[noreturn]] void UringPairLoop(int Fd) {
  io_uring ring = MakeRing();
  WatchPosted(ring);
  struct Receive {
    std::unique_ptr<uint8_t[]> Data{new uint8_t[65536]};
    sockaddr_in From{};
    iovec Iov{};
    msghdr Msg{};
    int Result = 0;
    bool Done = false;
  } pair[2];
  for (;;) {
    for (int half = 0; half < 2; ++half) {
      Receive& r = pair[half];
      r.Iov = iovec{r.Data.get(), 65536};
      r.Msg = msghdr{};
      r.Msg.msg_name = &r.From;
      r.Msg.msg_namelen = sizeof r.From;
      r.Msg.msg_iov = &r.Iov;
      r.Msg.msg_iovlen = 1;
      r.Done = false;
      io_uring_sqe* sqe = io_uring_get_sqe(&ring);
      io_uring_prep_recvmsg(sqe, Fd, &r.Msg, half == 1 ? MSG_DONTWAIT : 0);
      sqe->user_data = half == 0 ? kReceive : kBehind;
      if (half == 0) sqe->flags |= IOSQE_IO_LINK;
    }
    // One system call submits and waits, as in VORLANX's wait.
    io_uring_submit_and_wait(&ring, 1);
    auto take = [&](const io_uring_cqe& c) {
      if (c.user_data != kReceive && c.user_data != kBehind) return;
      Receive& r = pair[c.user_data == kReceive ? 0 : 1];
      r.Done = true;
      r.Result = c.res;
    };
    TakeCompletions(ring, take);
    // Woken for something else: nothing stays armed between waits (the
    // receive linked behind goes with the one cancelled).
    if (!pair[0].Done) {
      io_uring_sqe* sqe = io_uring_get_sqe(&ring);
      io_uring_prep_cancel64(sqe, kReceive, 0);
      sqe->user_data = kCancel;
      io_uring_submit(&ring);
    }
    while (!pair[0].Done || !pair[1].Done) TakeCompletions(ring, take);
    for (Receive& r : pair)
      if (r.Result >= 0) Relay(r.Data.get(), r.Result > 4 ? 4 : r.Result);
  }
}
