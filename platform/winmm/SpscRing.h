// A fixed-size single-producer single-consumer queue: no lock, no allocation
// after construction, neither side ever waits for the other.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace winmm {

template <class T>
class SpscRing {
 public:
  // Capacity is rounded up to a power of two.
  explicit SpscRing(size_t Capacity) {
    size_t n = 1;
    while (n < Capacity) n <<= 1;
    FMask = n - 1;
    FItems.reset(new T[n]);
  }

  size_t Capacity() const { return FMask + 1; }

  // Producer side. False when the ring is full.
  bool Push(const T& Item) {
    size_t tail = FTail.load(std::memory_order_relaxed);
    if (tail - FHead.load(std::memory_order_acquire) > FMask) return false;
    FItems[tail & FMask] = Item;
    FTail.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer side: the oldest item, or null when the ring is empty.
  const T* Front() const {
    size_t head = FHead.load(std::memory_order_relaxed);
    if (head == FTail.load(std::memory_order_acquire)) return nullptr;
    return &FItems[head & FMask];
  }
  void Pop() { FHead.store(FHead.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  // Either side; exact only when the other side is idle.
  bool Empty() const {
    return FHead.load(std::memory_order_acquire) == FTail.load(std::memory_order_acquire);
  }

 private:
  std::unique_ptr<T[]> FItems;
  size_t FMask = 0;
  alignas(64) std::atomic<size_t> FHead{0};  // written by the consumer
  alignas(64) std::atomic<size_t> FTail{0};  // written by the producer
};

}  // namespace winmm
