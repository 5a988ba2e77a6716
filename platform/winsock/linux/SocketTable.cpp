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
    if (value < 0 || s >= kPages * kPageSize) return;
    auto* page = reinterpret_cast<QuickPage*>(new std::atomic<int>[kPageSize]);
    for (std::atomic<int>& v : *page) v.store(-1, std::memory_order_relaxed);
    g_quick[s >> kPageBits].store(page, std::memory_order_release);
    slot = &(*page)[s & (kPageSize - 1)];
  }
  slot->store(value, std::memory_order_relaxed);
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
  t.byFd[static_cast<size_t>(fd)] = std::move(state);
  return t.byFd[static_cast<size_t>(fd)].get();
}

void RemoveLocked(SocketState* state) {
  SetQuickLocked(state->fd, -1);
  TheTable().byFd[static_cast<size_t>(state->fd)].reset();
}

void ForEachSocketLocked(void (*f)(SocketState&)) {
  for (auto& s : TheTable().byFd)
    if (s) f(*s);
}

void ClearLocked() {
  for (auto& s : TheTable().byFd)
    if (s) SetQuickLocked(s->fd, -1);
  TheTable().byFd.clear();
}

void PublishPendingLocked(SocketState& s) {
  // Datagrams of one size in a row publish once.
  const int size = s.ahead.FrontSize();
  if (size == s.published) return;
  s.published = size;
  SetQuickLocked(s.fd, size);
}

int QuickPending(SOCKET s) {
  const std::atomic<int>* slot = QuickSlot(s);
  return slot ? slot->load(std::memory_order_relaxed) : -1;
}

}  // namespace winsock::internal
