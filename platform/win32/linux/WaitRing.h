// Private to the Linux platform layers: the thread's blocking wait through
// io_uring, which receives datagrams in the same system call that waits for
// them. Waiting with epoll costs two system calls per datagram (epoll_wait,
// then the receive); here one io_uring_enter waits for the queue's epoll
// descriptor (a one-shot poll, left armed between waits: it takes nothing) and
// for the datagram sockets its owner lists, each with a receive that stays
// armed across waits (multishot, into a few buffers of the socket's own).
// The ring runs its work only inside the thread's own io_uring_enter
// (IORING_SETUP_DEFER_TASKRUN), so between waits nothing receives and the
// socket's queue is the callers' alone, as with epoll; what a wait took is all
// handed over before it returns. Where the kernel refuses any of this, the
// wait stays epoll's.
#pragma once

#include <cstdint>
#include <memory>

namespace win32::internal {

class ThreadQueue;

// Datagrams the ring may take ahead per socket: its buffers. The socket layer
// has room for them beside what it read ahead itself.
constexpr int kRingBuffersPerSocket = 4;

// A datagram socket the wait serves, named by its owner's key. No
// initializers: the wait's array of them is filled, never cleared.
struct RingSocket {
  int fd;
  uint64_t key;
  // Nothing held and nothing pending: its buffers go back to the kernel, and
  // its receive is armed if it is not. Otherwise a receive already armed
  // stays, and takes at most what buffers the kernel still has.
  bool take;
};

// One datagram (or the error) a socket's receive came back with.
struct RingDatagram {
  int result = 0;  // bytes, or -errno
  const char* data = nullptr;
  uint32_t fromAddr = 0;  // network order
  uint16_t fromPort = 0;
};

// The socket layer's side, on the queue's thread: Arm inside the wait, before
// it; Received after it, and when a receive is ended outside one (Cancel);
// ModeChanged when the queue starts or stops waiting through the ring (its
// sockets' epoll interest then changes). None is called with the ring's
// state half updated.
struct RingClient {
  int (*Arm)(ThreadQueue& queue, RingSocket* out, int max);
  // What the socket's receive took, in order (an error ends it); armed: the
  // receive stays in flight; emptyBehind: its last try found the queue empty.
  void (*Received)(uint64_t key, const RingDatagram* got, int count, bool armed,
                   bool emptyBehind);
  void (*ModeChanged)(ThreadQueue& queue);
};
void SetRingClient(const RingClient* client);
const RingClient* CurrentRingClient();

// Whether the queue waits through its ring now (any thread may ask).
bool RingDriving(const ThreadQueue& queue);
// Ends a socket's receive in the queue's ring now when called on the queue's
// own thread (its port is then free); elsewhere the queue's next wait ends it.
void EndRingReceive(ThreadQueue& queue, uint64_t key);

class WaitRing {
 public:
  // Sockets one wait serves at most (a receive being ended takes a seat of
  // its own until it has).
  static constexpr int kMaxArmed = 8;

  // Null where the kernel (or the build) has no io_uring of this kind.
  static std::unique_ptr<WaitRing> Create();
  virtual ~WaitRing() = default;

  // Ends the receives of sockets no longer listed, arms or feeds those listed,
  // waits up to timeoutMs (-1: no limit; 0: only looks) for the epoll
  // descriptor or a datagram, and hands what came to the client. Returns
  // whether anything came; *epollReady says the epoll descriptor has
  // something to collect.
  virtual bool Wait(int epfd, const RingSocket* listed, int count, int timeoutMs,
                    const RingClient& client, bool* epollReady) = 0;
  // Ends the socket's receive now (its port is free once this returns), and
  // hands over what any receive took meanwhile. On the queue's thread.
  virtual void Cancel(uint64_t key, const RingClient& client) = 0;
  // Ends every receive, the same way.
  virtual void CancelAll(const RingClient& client) = 0;
};

}  // namespace win32::internal
