// One fixed-size block of a socket's send queue.
#pragma once

#include <cstdint>

#include "rtl/Object.h"

class TBuffer : public TObject {
 public:
  // A size of 0 or less gives a block of 1514 bytes.
  explicit TBuffer(int32_t Size);
  ~TBuffer() override;

  void SetCapacity(int32_t Size);
  // Copies in as many bytes as fit; returns how many.
  int32_t Append(const void* Data, int32_t Len);
  // The first pending byte and the pending count; nullptr and 0 when nothing is pending.
  uint8_t* PendingData(int32_t& Len);
  // Marks up to Len pending bytes as sent; returns how many. Rewinds a drained block.
  int32_t Consume(int32_t Len);

  uint8_t* Storage = nullptr;
  int32_t Capacity = 0;
  int32_t WritePos = 0;
  int32_t ReadPos = 0;
};
