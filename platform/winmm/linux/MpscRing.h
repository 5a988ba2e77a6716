// A fixed-size queue for any number of producers and one consumer: no lock, no
// allocation after construction, and neither side ever waits for the other.
// Each cell carries a sequence number that says whose turn it is, so a
// producer that claimed a cell but has not yet filled it only holds back the
// consumer, never another producer.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace winmm {

template <class T>
class MpscRing {
 public:
  // Capacity is rounded up to a power of two.
  explicit MpscRing(size_t Capacity) {
    size_t n = 1;
    while (n < Capacity) n <<= 1;
    FMask = n - 1;
    FCells.reset(new Cell[n]);
    for (size_t i = 0; i < n; ++i) FCells[i].Sequence.store(i, std::memory_order_relaxed);
  }

  size_t Capacity() const { return FMask + 1; }

  // Producer side, any thread. False when the ring is full.
  bool Push(const T& Item) {
    size_t tail = FTail.load(std::memory_order_relaxed);
    for (;;) {
      Cell& cell = FCells[tail & FMask];
      const size_t sequence = cell.Sequence.load(std::memory_order_acquire);
      const auto turn = static_cast<std::ptrdiff_t>(sequence - tail);
      if (turn == 0) {
        if (FTail.compare_exchange_weak(tail, tail + 1, std::memory_order_relaxed)) {
          cell.Item = Item;
          cell.Sequence.store(tail + 1, std::memory_order_release);
          return true;
        }
      } else if (turn < 0) {
        return false;  // the consumer has not yet freed this cell
      } else {
        tail = FTail.load(std::memory_order_relaxed);
      }
    }
  }

  // Consumer side: the oldest item, or null when there is none (yet).
  const T* Front() const {
    const size_t head = FHead.load(std::memory_order_relaxed);
    const Cell& cell = FCells[head & FMask];
    if (cell.Sequence.load(std::memory_order_acquire) != head + 1) return nullptr;
    return &cell.Item;
  }
  void Pop() {
    const size_t head = FHead.load(std::memory_order_relaxed);
    FCells[head & FMask].Sequence.store(head + FMask + 1, std::memory_order_release);
    FHead.store(head + 1, std::memory_order_release);
  }

  // Either side; exact only when the other side is idle.
  bool Empty() const {
    return FHead.load(std::memory_order_acquire) == FTail.load(std::memory_order_acquire);
  }

 private:
  struct Cell {
    std::atomic<size_t> Sequence{0};
    T Item{};
  };
  std::unique_ptr<Cell[]> FCells;
  size_t FMask = 0;
  alignas(64) std::atomic<size_t> FHead{0};  // written by the consumer
  alignas(64) std::atomic<size_t> FTail{0};  // claimed by producers
};

}  // namespace winmm
