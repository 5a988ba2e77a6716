// The table of sockets this layer created, indexed by descriptor.
#include "platform/winsock/linux/SocketTable.h"

#include <atomic>
#include <climits>
#include <memory>
#include <vector>

namespace winsock::internal {

namespace {

struct Table {
  std::mutex mu;
  std::vector<std::unique_ptr<SocketState>> byFd;
  // The same sockets, dense: the loop's thread walks them before every wait,
  // and most descriptors are not sockets of ours.
  std::vector<SocketState*> live;
  uint32_t nextGeneration = 1;
};

Table& TheTable() {
  static Table* table = new Table;
  return *table;
}

// The FIONREAD answers that need no lock, by descriptor: pages made on first
// use and kept for good, so that a reader never meets freed memory.
constexpr unsigned kPageBits = 10;
constexpr size_t kPageSize = size_t{1} << kPageBits;
constexpr size_t kPages = 4096;  // descriptors below 4M; above that, the lock
using QuickPage = std::atomic<int>[kPageSize];
std::atomic<QuickPage*> g_quick[kPages];
// A queue found empty: the first size query that reads it answers 0 and
// takes it, so the next one asks the kernel (a datagram may come any moment).
constexpr int kQuickEmptyOnce = -2;

std::atomic<int>* QuickSlot(SOCKET s) {
  if (s >= kPages * kPageSize) return nullptr;
  QuickPage* page = g_quick[s >> kPageBits].load(std::memory_order_acquire);
  return page ? &(*page)[s & (kPageSize - 1)] : nullptr;
}

// Under the table lock, the only writer.
void SetQuickLocked(int fd, int value) {
  const auto s = static_cast<SOCKET>(fd);
  std::atomic<int>* slot = QuickSlot(s);
  if (!slot) {
    if (value == -1 || s >= kPages * kPageSize) return;
    auto* page = reinterpret_cast<QuickPage*>(new std::atomic<int>[kPageSize]);
    for (std::atomic<int>& v : *page) v.store(-1, std::memory_order_relaxed);
    g_quick[s >> kPageBits].store(page, std::memory_order_release);
    slot = &(*page)[s & (kPageSize - 1)];
  }
  slot->store(value, std::memory_order_relaxed);
}

void Unlist(Table& t, SocketState* state) {
  SocketState* last = t.live.back();
  t.live[state->liveIndex] = last;
  last->liveIndex = state->liveIndex;
  t.live.pop_back();
}

}  // namespace

std::mutex& TableMutex() { return TheTable().mu; }

SocketState* FindLocked(SOCKET s) {
  Table& t = TheTable();
  if (s >= t.byFd.size()) return nullptr;
  return t.byFd[s].get();
}

SocketState* FindByKeyLocked(uint64_t key) {
  SocketState* s = FindLocked(static_cast<uint32_t>(key));
  return s && s->generation == static_cast<uint32_t>(key >> 32) ? s : nullptr;
}

SocketState* AddLocked(int fd, int type) {
  Table& t = TheTable();
  if (static_cast<size_t>(fd) >= t.byFd.size()) t.byFd.resize(static_cast<size_t>(fd) + 1);
  auto state = std::make_unique<SocketState>();
  state->fd = fd;
  state->type = type;
  state->generation = t.nextGeneration++;
  if (t.nextGeneration == 0) t.nextGeneration = 1;  // key 0 belongs to the queue
  state->phase = type == ws::kSockStream ? Phase::Fresh : Phase::Connected;
  SetQuickLocked(fd, -1);
  std::unique_ptr<SocketState>& slot = t.byFd[static_cast<size_t>(fd)];
  if (slot) Unlist(t, slot.get());  // a descriptor closed behind our back, reused
  state->liveIndex = t.live.size();
  t.live.push_back(state.get());
  slot = std::move(state);
  return slot.get();
}

void RemoveLocked(SocketState* state) {
  Table& t = TheTable();
  SetQuickLocked(state->fd, -1);
  Unlist(t, state);
  t.byFd[static_cast<size_t>(state->fd)].reset();
}

void ForEachSocketLocked(void (*f)(SocketState&)) {
  for (SocketState* s : TheTable().live) f(*s);
}

void ClearLocked() {
  Table& t = TheTable();
  for (SocketState* s : t.live) SetQuickLocked(s->fd, -1);
  t.live.clear();
  t.byFd.clear();
}

void PublishPendingLocked(SocketState& s) {
  int value = s.ahead.FrontSize();
  if (value < 0 && s.ahead.knownEmpty && s.ahead.error == 0) value = kQuickEmptyOnce;
  // Datagrams of one size in a row publish once; an empty queue every time
  // (a reader may have taken the last one).
  if (value == s.published && value != kQuickEmptyOnce) return;
  s.published = value;
  SetQuickLocked(s.fd, value);
}

bool TakeQuickEmptyLocked(SocketState& s) {
  std::atomic<int>* slot = QuickSlot(static_cast<SOCKET>(s.fd));
  int expected = kQuickEmptyOnce;
  const bool mine = slot && slot->compare_exchange_strong(expected, -1, std::memory_order_relaxed);
  // Not ours: a reader took it (the slot says -1 already), or it never got there.
  if (slot && !mine) slot->store(-1, std::memory_order_relaxed);
  s.published = -1;
  return mine;
}

int QuickPending(SOCKET s) {
  std::atomic<int>* slot = QuickSlot(s);
  if (!slot) return -1;
  int value = slot->load(std::memory_order_relaxed);
  while (value == kQuickEmptyOnce)
    if (slot->compare_exchange_weak(value, -1, std::memory_order_relaxed)) return 0;
  return value;
}

}  // namespace winsock::internal
