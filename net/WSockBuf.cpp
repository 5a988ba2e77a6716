#include "net/WSockBuf.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int32_t kDefaultBlockSize = 1514;
}

TBuffer::TBuffer(int32_t Size) { SetCapacity(Size); }

TBuffer::~TBuffer() { delete[] Storage; }

void TBuffer::SetCapacity(int32_t Size) {
  if (Size <= 0) Size = kDefaultBlockSize;
  if (Size == Capacity) return;
  uint8_t* fresh = new uint8_t[static_cast<size_t>(Size)];
  if (WritePos != ReadPos) {
    // Keep what was written; shrinking below the written bytes keeps what fits.
    int32_t keep = std::min(WritePos, Size);
    std::memcpy(fresh, Storage, static_cast<size_t>(keep));
    WritePos = keep;
    ReadPos = std::min(ReadPos, keep);
    if (ReadPos == WritePos) ReadPos = WritePos = 0;
  }
  delete[] Storage;
  Storage = fresh;
  Capacity = Size;
}

int32_t TBuffer::Append(const void* Data, int32_t Len) {
  int32_t room = Capacity - WritePos;
  if (room <= 0 || Len <= 0) return 0;
  int32_t n = std::min(Len, room);
  std::memcpy(Storage + WritePos, Data, static_cast<size_t>(n));
  WritePos += n;
  return n;
}

uint8_t* TBuffer::PendingData(int32_t& Len) {
  int32_t avail = WritePos - ReadPos;
  if (avail <= 0) {
    Len = 0;
    return nullptr;
  }
  Len = avail;
  return Storage + ReadPos;
}

int32_t TBuffer::Consume(int32_t Len) {
  int32_t avail = WritePos - ReadPos;
  if (avail <= 0 || Len <= 0) return 0;
  int32_t n = std::min(Len, avail);
  ReadPos += n;
  if (ReadPos == WritePos) ReadPos = WritePos = 0;
  return n;
}
