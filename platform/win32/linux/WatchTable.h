// Private to win32: the descriptors a queue's epoll set watches, each with the
// callback of whoever registered it.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/win32/win32.h"

namespace win32::internal {

// A watch's id is its epoll_event.data.u64: slot index and the slot's
// generation, so that readiness reported for a removed watch finds nothing
// even when the slot has been reused. Any thread may add, change or remove
// watches; callbacks run on the queue's thread only.
class WatchTable {
 public:
  struct Watch {
    int fd = -1;
    DescriptorProc proc = nullptr;
    void* context = nullptr;
  };

  // Registers fd with the interest given (0: registered but not in the epoll
  // set yet). Returns 0, with errno set, when epoll refuses the descriptor.
  uint64_t Add(int epfd, int fd, uint32_t events, DescriptorProc proc, void* context);
  // Installs new interest; 0 takes the descriptor out of the epoll set, as an
  // empty interest set would still report errors and hang-ups.
  bool Change(int epfd, uint64_t id, uint32_t events);
  void Remove(int epfd, uint64_t id);
  bool Find(uint64_t id, Watch* out);

 private:
  struct Slot {
    Watch watch;
    uint32_t generation = 0;
    bool used = false;
    bool inSet = false;
  };
  Slot* SlotLocked(uint64_t id);

  std::mutex mu_;
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;
};

}  // namespace win32::internal
