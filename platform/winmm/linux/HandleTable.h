// Handles of open devices, safe to use from any thread: a handle is a slot
// number with a generation, so a stale, closed or made-up handle is recognised
// without touching freed memory, and a device is never freed while a call that
// looked it up is still using it. Looking up takes no lock and allocates nothing.
#pragma once

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdint>

namespace winmm {

template <class T>
class HandleTable {
 public:
  static constexpr unsigned kSlotBits = 8;
  static constexpr unsigned kSlots = 1u << kSlotBits;

  // Under the caller's lock: puts Item in a free slot and gives its handle;
  // 0 when every slot is taken.
  uintptr_t Insert(T* Item) {
    for (unsigned i = 0; i < kSlots; ++i) {
      Slot& s = FSlots[i];
      if (s.State.load(std::memory_order_acquire) != 0) continue;  // open, or still being left
      s.LastGeneration = s.LastGeneration >= kMaxGeneration ? 1 : s.LastGeneration + 1;
      s.Item = Item;
      s.State.store(s.LastGeneration << kUserBits, std::memory_order_release);
      return static_cast<uintptr_t>(s.LastGeneration) << kSlotBits | i;
    }
    return 0;
  }

  // Any thread, no lock: the item behind Handle, held for the caller until
  // Release(Handle); null when the handle is not (or no longer) open.
  T* Acquire(uintptr_t Handle) {
    Slot& s = FSlots[Handle & (kSlots - 1)];
    const uintptr_t generation = Handle >> kSlotBits;
    uint32_t state = s.State.load(std::memory_order_relaxed);
    for (;;) {
      if (generation == 0 || state >> kUserBits != generation) return nullptr;
      // So many users at once cannot happen in practice; refuse rather than overflow.
      if ((state & kUserMask) == kUserMask) return nullptr;
      if (s.State.compare_exchange_weak(state, state + 1, std::memory_order_acquire,
                                        std::memory_order_relaxed))
        return s.Item;
    }
  }
  void Release(uintptr_t Handle) {
    Slot& s = FSlots[Handle & (kSlots - 1)];
    const uint32_t before = s.State.fetch_sub(1, std::memory_order_release);
    // The last user of a handle being removed wakes the remover.
    if (before == 1) Wake(s.State);
  }

  // Under the caller's lock: closes Handle to new users, waits until the
  // current ones are done, and gives the item back; null for a handle that is
  // not open.
  T* Remove(uintptr_t Handle) {
    Slot& s = FSlots[Handle & (kSlots - 1)];
    const uintptr_t generation = Handle >> kSlotBits;
    uint32_t state = s.State.load(std::memory_order_relaxed);
    do {
      if (generation == 0 || state >> kUserBits != generation) return nullptr;
    } while (!s.State.compare_exchange_weak(state, state & kUserMask, std::memory_order_relaxed));
    // The users left are inside one short, non-blocking call each.
    while ((state = s.State.load(std::memory_order_acquire)) != 0) Wait(s.State, state);
    T* item = s.Item;
    s.Item = nullptr;
    return item;
  }

 private:
  static constexpr unsigned kUserBits = 12;
  static constexpr uint32_t kUserMask = (1u << kUserBits) - 1;
  static constexpr uint32_t kMaxGeneration = (1u << (32 - kUserBits)) - 1;

  // State: the open handle's generation above kUserBits (0 while closed or
  // being removed), the number of calls using the item below.
  struct Slot {
    std::atomic<uint32_t> State{0};
    uint32_t LastGeneration = 0;  // under the caller's lock
    T* Item = nullptr;
  };
  static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "futex word");

  static void Wait(std::atomic<uint32_t>& Word, uint32_t Seen) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&Word), FUTEX_WAIT_PRIVATE, Seen, nullptr,
            nullptr, 0);
  }
  static void Wake(std::atomic<uint32_t>& Word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&Word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr,
            nullptr, 0);
  }

  Slot FSlots[kSlots];
};

}  // namespace winmm
