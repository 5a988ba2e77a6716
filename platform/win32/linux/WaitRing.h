// Private to the Linux platform layers: the thread's blocking wait through
// io_uring, which receives a datagram in the same system call that waits for
// it. Waiting with epoll costs two system calls per datagram (epoll_wait, then
// the receive); here one io_uring_enter waits for the queue's epoll descriptor
// (a one-shot poll, left armed between waits: it takes nothing) and, for each
// datagram socket its owner arms, for the next datagram, with non-blocking
// receives linked behind it that take what came with it and tell whether the
// queue is empty behind them, so that the next look needs no system call.
// Nothing but that poll is in flight once a wait returns: a receive that
// found nothing is cancelled, so between waits the socket's queue is the
// kernel's alone, as with epoll. Where the kernel refuses io_uring, the wait
// stays epoll's.
#pragma once

#include <cstdint>
#include <memory>

namespace win32::internal {

class ThreadQueue;

// Receives armed per socket at most: the one that waits and the non-blocking
// ones linked behind it. The socket layer holds that many datagrams read ahead.
constexpr int kRingReceivesPerSocket = 4;

// A datagram socket armed for one wait, named by its owner's key. No
// initializers: the wait's array of them is filled, never cleared.
struct RingReceive {
  int fd;
  uint64_t key;
  int receives;  // in its chain: 2 to kRingReceivesPerSocket
};

// What one receive of an armed socket came back with.
struct RingDatagram {
  int result = 0;  // bytes, or -errno: -EAGAIN nothing was there, -ECANCELED not run
  const char* data = nullptr;
  uint32_t fromAddr = 0;  // network order
  uint16_t fromPort = 0;
};

// The socket layer's side. Arm and Received run on the queue's thread, inside
// the wait; ModeChanged when the queue starts or stops waiting through the ring
// (its sockets' epoll interest then changes).
struct RingClient {
  int (*Arm)(ThreadQueue& queue, RingReceive* out, int max);
  // got[0]: the receive that waited; got[1..]: the non-blocking ones behind
  // it, in order (kRingReceivesPerSocket in all). One that failed ends the
  // chain: those after it, and those past the chain's end, are -ECANCELED.
  void (*Received)(uint64_t key, const RingDatagram* got);
  void (*ModeChanged)(ThreadQueue& queue);
};
void SetRingClient(const RingClient* client);
const RingClient* CurrentRingClient();

// Whether the queue waits through its ring now (any thread may ask).
bool RingDriving(const ThreadQueue& queue);

class WaitRing {
 public:
  static constexpr int kMaxArmed = 8;

  // Null where the kernel (or the build) has no io_uring.
  static std::unique_ptr<WaitRing> Create();
  virtual ~WaitRing() = default;

  // Waits up to timeoutMs (-1: no limit; 0: only looks) for the epoll
  // descriptor or a datagram on the sockets armed, then hands each armed
  // socket's receives to the client. Returns whether anything came;
  // *epollReady says the epoll descriptor has something to collect.
  virtual bool Wait(int epfd, const RingReceive* armed, int count, int timeoutMs,
                    const RingClient& client, bool* epollReady) = 0;
};

}  // namespace win32::internal
