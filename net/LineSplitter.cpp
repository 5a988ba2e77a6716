#include "net/LineSplitter.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

void TLineSplitter::Grow(int32_t Needed) {
  int64_t size = static_cast<int64_t>(LineBufferSize) + LineBufferSize / 2;
  if (size < Needed) size = Needed;
  if (size > std::numeric_limits<int32_t>::max()) size = std::numeric_limits<int32_t>::max();
  auto* block = static_cast<uint8_t*>(std::realloc(LineBuffer, static_cast<size_t>(size)));
  if (!block) throw std::bad_alloc();
  if (!LineBuffer) block[0] = 0;
  LineBuffer = block;
  LineBufferSize = static_cast<int32_t>(size);
}

uint8_t* TLineSplitter::ReserveTail(int32_t Count) {
  if (LineStart > 0) {
    // The one move per read: the held rest and its zero byte go to the front.
    std::memmove(LineBuffer, LineBuffer + LineStart, static_cast<size_t>(LineBufferCount) + 1);
    LineStart = 0;
  }
  const int64_t needed = static_cast<int64_t>(LineBufferCount) + Count + 1;
  if (needed > std::numeric_limits<int32_t>::max()) throw std::bad_alloc();
  if (needed > LineBufferSize) Grow(static_cast<int32_t>(needed));
  return LineBuffer + LineBufferCount;
}

void TLineSplitter::CommitTail(int32_t Count) {
  LineBufferCount += Count;
  LineBuffer[LineStart + LineBufferCount] = 0;
}

bool TLineSplitter::EditTail(int32_t& Count, const std::string& LineEnd, std::string* Echo) {
  if (Count <= 0) return false;
  const uint8_t* tail = LineBuffer + LineStart + LineBufferCount;
  const auto n = static_cast<size_t>(Count);
  if (!std::memchr(tail, 8, n) && !std::memchr(tail, 9, n)) return false;
  EditInput.assign(reinterpret_cast<const char*>(tail), n);

  const auto endLen = static_cast<int32_t>(LineEnd.size());
  // Editing never reaches into a line already complete: not the one on offer,
  // nor one whose terminator came earlier in these bytes.
  int32_t floor = CurrentLineLength;
  int32_t w = LineBufferCount;
  int32_t lowest = w;
  auto put = [&](uint8_t c) {
    if (static_cast<int64_t>(LineStart) + w + 1 >= LineBufferSize) {
      if (static_cast<int64_t>(LineStart) + w + 2 > std::numeric_limits<int32_t>::max())
        throw std::bad_alloc();
      Grow(LineStart + w + 2);
    }
    LineBuffer[LineStart + w++] = c;
    // A terminator just completed (blanks of a tab may complete one too).
    if (endLen > 0 && w - floor >= endLen &&
        std::memcmp(LineBuffer + LineStart + w - endLen, LineEnd.data(),
                    static_cast<size_t>(endLen)) == 0)
      floor = w;
  };
  for (char ch : EditInput) {
    const auto c = static_cast<uint8_t>(ch);
    if (c == 8) {
      if (w > floor) {
        if (Echo) Echo->append("\b \b", 3);
        if (--w < lowest) lowest = w;
      }
    } else if (c == 9) {
      // Tab stops every 8 columns of the line.
      do {
        if (Echo) Echo->push_back(' ');
        put(' ');
      } while ((w - floor) % 8 != 0);
    } else {
      if (Echo) Echo->push_back(static_cast<char>(c));
      put(c);
    }
  }
  LineBuffer[LineStart + w] = 0;
  LineBufferCount = lowest;
  if (Scanned > lowest) Scanned = lowest;
  Count = w - lowest;
  return true;
}

int32_t TLineSplitter::FindLine(const std::string& LineEnd) {
  const auto len = static_cast<int32_t>(LineEnd.size());
  if (len == 0) return 0;
  if (LineBufferCount >= len) {
    const uint8_t* base = LineBuffer + LineStart;
    const auto first = static_cast<uint8_t>(LineEnd[0]);
    // A terminator that ends in unsearched bytes may begin up to len - 1 bytes earlier.
    const uint8_t* p = base + (Scanned >= len ? Scanned - len + 1 : 0);
    const uint8_t* last = base + (LineBufferCount - len);
    while (p <= last) {
      p = static_cast<const uint8_t*>(std::memchr(p, first, static_cast<size_t>(last - p) + 1));
      if (!p) break;
      if (std::memcmp(p + 1, LineEnd.data() + 1, static_cast<size_t>(len) - 1) == 0)
        return static_cast<int32_t>(p - base) + len;
      ++p;
    }
  }
  Scanned = LineBufferCount;
  return 0;
}

void TLineSplitter::TakeHeld(void* Dest, int32_t Count) {
  if (Count > LineBufferCount) Count = LineBufferCount;
  if (Count <= 0) return;
  if (Dest) std::memcpy(Dest, LineBuffer + LineStart, static_cast<size_t>(Count));
  LineStart += Count;
  LineBufferCount -= Count;
  Scanned = Scanned > Count ? Scanned - Count : 0;
  TakenTotal += static_cast<uint64_t>(Count);
  if (LineBufferCount == 0) {
    LineStart = 0;
    LineBuffer[0] = 0;
  }
}

void TLineSplitter::ClearHeld() {
  LineBufferCount = 0;
  LineStart = 0;
  Scanned = 0;
  if (LineBuffer) LineBuffer[0] = 0;
}

void TLineSplitter::FreeLineBuffer() {
  std::free(LineBuffer);
  LineBuffer = nullptr;
  LineBufferSize = 0;
  LineBufferCount = 0;
  CurrentLineLength = 0;
  LineStart = 0;
  Scanned = 0;
}
