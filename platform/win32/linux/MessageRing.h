// Private to win32: the posted messages of one queue, oldest first. A ring that
// keeps its storage, so steady posting and taking allocate nothing.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/win32/win32.h"

namespace win32::internal {

class MessageRing {
 public:
  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  MSG& at(size_t i) { return slots_[(head_ + i) % slots_.size()]; }

  void push_back(const MSG& msg) {
    if (count_ == slots_.size()) Grow();
    slots_[(head_ + count_) % slots_.size()] = msg;
    ++count_;
  }

  // Removes the i-th oldest message, keeping the order of the rest.
  void erase(size_t i) {
    if (i == 0) {
      head_ = (head_ + 1) % slots_.size();
    } else {
      for (size_t k = i; k + 1 < count_; ++k) at(k) = at(k + 1);
    }
    --count_;
  }

  void clear() { head_ = count_ = 0; }

 private:
  void Grow() {
    std::vector<MSG> bigger(slots_.empty() ? 16 : slots_.size() * 2);
    for (size_t k = 0; k < count_; ++k) bigger[k] = at(k);
    slots_.swap(bigger);
    head_ = 0;
  }

  std::vector<MSG> slots_;
  size_t head_ = 0;
  size_t count_ = 0;
};

}  // namespace win32::internal
