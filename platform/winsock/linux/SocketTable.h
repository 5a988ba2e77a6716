// Private to the winsock layer: what it keeps per socket. SOCKET values are the
// Linux descriptors; each gets a generation so that readiness reported for a
// closed socket is never taken for a later one with the same number.
#pragma once

#include "platform/winsock/linux/Internal.h"

#include <memory>
#include <mutex>

#include "platform/win32/linux/QueueInternal.h"
#include "platform/win32/linux/WaitRing.h"

namespace winsock::internal {

enum class Phase : uint8_t {
  Fresh,       // stream socket neither connecting, connected nor listening
  Connecting,  // non-blocking connect under way
  Connected,   // connected stream, or any datagram socket
  Listening,
  Failed,  // a connect attempt failed
};

struct SocketState {
  int fd = -1;
  uint32_t generation = 0;
  size_t liveIndex = 0;  // place in the table's dense list
  int type = 0;  // Winsock/Linux SOCK_* (same numbers)
  Phase phase = Phase::Fresh;
  bool blocking = false;
  bool sendShut = false;
  bool receiveShut = false;
  int lingerSeconds = 0;  // SO_LINGER on with a time: closesocket must not block
  // Datagram sockets: the size of the first queued datagram as FIONREAD last
  // found it (-1: not known). The kernel only adds datagrams behind it, so it
  // holds until a receive; a receive loop then asks the kernel once per datagram.
  int firstDatagram = -1;
  uint32_t receives = 0;          // receive calls so far: a size found across one is not kept
  int64_t lingerCloseStart = -1;  // first closesocket attempt that had to wait
  // Datagram sockets under FD_READ: the datagrams read ahead, one system call
  // for several (see ReadAhead.cpp), so that "is there more?" needs none.
  struct ReadAhead {
    // What one read ahead takes, and room beside it for what the buffers of
    // the queue's ring hold (WaitRing.h): the ring's receive may take those
    // after a read ahead of the socket's own.
    static constexpr int kBatch = 4;
    static constexpr int kSlots = kBatch + win32::internal::kRingBuffersPerSocket;
    struct Datagram {
      std::unique_ptr<char[]> data;  // kReadAheadSize bytes, made on first use
      int size = 0;
      uint32_t fromAddr = 0;  // sender, network order
      uint16_t fromPort = 0;
    };
    Datagram slots[kSlots];
    int next = 0;    // the oldest held: slots[next .. filled - 1]
    int filled = 0;  // slots the last read filled
    int error = 0;   // errno of a failed read, for the receive after the held ones
    // The read that filled the slots found the queue empty behind them: the
    // last one's receive needs no system call to know.
    bool emptyBehind = false;
    // The last read found the queue empty: the next size query answers 0
    // without asking (readiness clears it).
    bool knownEmpty = false;
    int Count() const { return filled - next; }
    bool Held() const { return next < filled || error != 0; }
    // The oldest held datagram's size; -1: none held.
    int FrontSize() const { return next < filled ? slots[next].size : -1; }
  } ahead;
  int published = -1;  // the size last published for FIONREAD (see PublishPendingLocked)

  // WSAAsyncSelect registration (events 0: none).
  win32::HWND hwnd = nullptr;
  win32::UINT msg = 0;
  long events = 0;
  win32::internal::QueuePtr queue;
  // Where notifications went last: closing takes those still queued back, as
  // the descriptor number may name a new socket right away.
  win32::HWND notifiedHwnd = nullptr;
  win32::UINT notifiedMsg = 0;

  // Winsock's re-enabling rules.
  bool readPending = false;    // FD_READ posted, no receive since
  bool writeArmed = false;     // FD_WRITE may be posted once
  bool acceptPending = false;  // FD_ACCEPT posted, no accept since
  bool peerClosed = false;     // the connection's end was seen
  bool closeReported = false;  // FD_CLOSE posted
  bool recheckClosed = false;  // receive on a closed connection: look for data left
  unsigned closeError = 0;

  // The socket's watch in its queue (0: none yet), and the interest installed
  // there (one-shot; 0 after it fired).
  uint64_t watch = 0;
  uint32_t installed = 0;
  bool announced = false;  // readiness of a datagram read ahead announced to the queue
  // The queue whose ring has a receive in flight for it (WaitRing.h), which
  // takes datagrams while that queue's thread waits; kept until the ring says
  // the receive ended, also after the socket left that queue.
  win32::internal::QueuePtr ringQueue;
  bool ringSeat = false;  // one of the few sockets its queue's wait serves

  uint64_t Key() const {
    return (static_cast<uint64_t>(generation) << 32) | static_cast<uint32_t>(fd);
  }
};

// One lock for all socket state; never held while calling into user code.
std::mutex& TableMutex();
SocketState* FindLocked(SOCKET s);
SocketState* FindByKeyLocked(uint64_t key);
SocketState* AddLocked(int fd, int type);
// Forgets the socket (its epoll interest must already be removed).
void RemoveLocked(SocketState* state);
// f must not add or remove sockets.
void ForEachSocketLocked(void (*f)(SocketState&));
void ClearLocked();

inline void ForgetFirstDatagramLocked(SocketState& s) {
  s.firstDatagram = -1;
  ++s.receives;
}

// ---- Datagrams read ahead (ReadAhead.cpp) ----
// A receive on a datagram socket that serves, or fills, the read-ahead
// datagram. Returns false when the call is one for the plain path (nothing
// held, and the socket not one that reads ahead); otherwise *result is the
// receive's result (the Winsock error set).
bool ReceiveAhead(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen,
                  int* result);
// FIONREAD from what is held: true with *size when no system call is needed.
bool PendingFromAheadLocked(SocketState& s, int* size);
// Readiness of a datagram socket: one that reads ahead and holds nothing takes
// what waits now, so the size query and receive that follow need no system call.
void ReadAheadOnReadyLocked(SocketState& s);
// The size of the datagram held, published after each change for FIONREAD to
// read without the lock (a receive loop asks it twice per datagram), and the
// reading: -1 when the answer needs the lock (or the socket is unknown).
// A queue known to be empty is published too, to be answered once: whoever
// answers it takes it, QuickPending or TakeQuickEmptyLocked (false: taken).
void PublishPendingLocked(SocketState& s);
bool TakeQuickEmptyLocked(SocketState& s);
int QuickPending(SOCKET s);
// What the ring's receive took for the socket, in order, taken as if read
// ahead behind what it holds; emptyBehind: the receive found the queue empty
// after the last one.
void TakeRingDatagramsLocked(SocketState& s, const win32::internal::RingDatagram* got, int count,
                             bool emptyBehind);

// ---- Asynchronous selection (AsyncSelect.cpp) ----
// The socket's notification conditions changed: bring its epoll interest up to
// date now, or before its queue's thread next waits when that thread is the
// caller and is processing messages.
void InterestChangedLocked(SocketState& s);
// A receive call: FD_READ may be posted again.
void ReadReenabledLocked(SocketState& s);
// A send that would block: FD_WRITE is posted again once writable.
void WriteBlockedLocked(SocketState& s);
void AcceptReenabledLocked(SocketState& s);
// Removes the socket's watch from its queue.
void DetachLocked(SocketState& s);
// Makes an accepted socket share the listening socket's registration.
void InheritSelectLocked(SocketState& accepted, const SocketState& listener);
// The receiving side of the queues' ring waits (once, before the first registration).
void RegisterRingClient();

}  // namespace winsock::internal
