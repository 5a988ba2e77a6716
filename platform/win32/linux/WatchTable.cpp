// Descriptors watched by a queue: registration and lookup by id.
#include "platform/win32/linux/WatchTable.h"

#include <sys/epoll.h>

#include <atomic>
#include <cerrno>

namespace win32::internal {

namespace {

// Bumped by every Add and Remove of any table, the only changes a Find could
// see: a thread's last Find is kept with it, so a socket reported ready again
// and again is found without the lock.
std::atomic<uint64_t> g_version{1};

uint64_t IdOf(uint32_t index, uint32_t generation) {
  return (static_cast<uint64_t>(generation) << 32) | index;
}

bool Install(int epfd, int fd, uint64_t id, uint32_t events, bool& inSet) {
  if (events == 0) {
    if (inSet) epoll_ctl(epfd, EPOLL_CTL_DEL, fd, nullptr);
    inSet = false;
    return true;
  }
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = id;
  int r = epoll_ctl(epfd, inSet ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev);
  // Closing a descriptor takes it out of the set behind our back.
  if (r != 0 && errno == ENOENT) r = epoll_ctl(epfd, EPOLL_CTL_ADD, fd, &ev);
  if (r != 0 && errno == EEXIST) r = epoll_ctl(epfd, EPOLL_CTL_MOD, fd, &ev);
  inSet = r == 0;
  return inSet;
}

}  // namespace

WatchTable::Slot* WatchTable::SlotLocked(uint64_t id) {
  const uint32_t index = static_cast<uint32_t>(id);
  if (index >= slots_.size()) return nullptr;
  Slot& slot = slots_[index];
  return slot.used && slot.generation == static_cast<uint32_t>(id >> 32) ? &slot : nullptr;
}

uint64_t WatchTable::Add(int epfd, int fd, uint32_t events, DescriptorProc proc, void* context) {
  if (epfd < 0 || fd < 0) {
    errno = EBADF;
    return 0;
  }
  std::lock_guard<std::mutex> lock(mu_);
  uint32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
  } else {
    index = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  Slot& slot = slots_[index];
  // Generation 0 never names a watch, so no id is 0.
  if (++slot.generation == 0) slot.generation = 1;
  const uint64_t id = IdOf(index, slot.generation);
  slot.inSet = false;
  if (!Install(epfd, fd, id, events, slot.inSet)) {
    free_.push_back(index);
    return 0;
  }
  slot.used = true;
  slot.watch = Watch{fd, proc, context};
  g_version.fetch_add(1, std::memory_order_release);
  return id;
}

bool WatchTable::Change(int epfd, uint64_t id, uint32_t events) {
  std::lock_guard<std::mutex> lock(mu_);
  Slot* slot = SlotLocked(id);
  return slot && Install(epfd, slot->watch.fd, id, events, slot->inSet);
}

void WatchTable::Remove(int epfd, uint64_t id) {
  std::lock_guard<std::mutex> lock(mu_);
  Slot* slot = SlotLocked(id);
  if (!slot) return;
  g_version.fetch_add(1, std::memory_order_release);
  Install(epfd, slot->watch.fd, id, 0, slot->inSet);
  slot->used = false;
  slot->watch = Watch{};
  free_.push_back(static_cast<uint32_t>(id));
}

namespace {
struct FoundWatch {
  const WatchTable* table = nullptr;
  uint64_t version = 0;
  uint64_t id = 0;
  WatchTable::Watch watch;
};
thread_local FoundWatch t_found;
}  // namespace

bool WatchTable::Find(uint64_t id, Watch* out) {
  FoundWatch& f = t_found;
  if (f.table == this && f.id == id && f.version == g_version.load(std::memory_order_acquire)) {
    *out = f.watch;
    return true;
  }
  std::lock_guard<std::mutex> lock(mu_);
  Slot* slot = SlotLocked(id);
  if (!slot) return false;
  *out = slot->watch;
  f = FoundWatch{this, g_version.load(std::memory_order_relaxed), id, slot->watch};
  return true;
}

}  // namespace win32::internal
