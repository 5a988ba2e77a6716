// The table of sockets this layer created, indexed by descriptor.
#include "platform/winsock/SocketTable.h"

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
  t.byFd[static_cast<size_t>(fd)] = std::move(state);
  return t.byFd[static_cast<size_t>(fd)].get();
}

void RemoveLocked(SocketState* state) { TheTable().byFd[static_cast<size_t>(state->fd)].reset(); }

void ForEachSocketLocked(void (*f)(SocketState&)) {
  for (auto& s : TheTable().byFd)
    if (s) f(*s);
}

void ClearLocked() { TheTable().byFd.clear(); }

}  // namespace winsock::internal
