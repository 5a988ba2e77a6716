// Line splitting and editing on arbitrary bytes, terminators and read
// boundaries: the bytes fed in one read, the same bytes cut into many reads,
// and a plain byte-at-a-time model must give the same lines, the same held
// rest and the same echo, with editing on and off. Lines are taken in pieces
// of a chosen size, as a handler with a small buffer would.
//
// Input: [flags] [terminator length-1 in bits 2..4 of flags] [terminator]
//        [cut count] [cuts...] [piece size] [data...]
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "net/LineSplitter.h"

namespace {

struct TResult {
  std::vector<std::string> Lines;
  std::string Rest;
  std::string Echo;
};

class TProbe : public TLineSplitter {
 public:
  // The zero byte after the held bytes, inside the block.
  void CheckTerminatingZero() const {
    if (!LineBuffer) return;
    fuzz::Check(LineStart + LineBufferCount < LineBufferSize, "held bytes fill the block");
    fuzz::Check(LineBuffer[LineStart + LineBufferCount] == 0, "no zero byte after held bytes");
  }
};

// What the line layer does with each read, minus the socket.
TResult Split(const std::string& Data, const std::vector<size_t>& Cuts, const std::string& End,
              bool Edit, bool Echo, int32_t Piece) {
  TResult r;
  TProbe s;
  size_t from = 0;
  for (size_t i = 0; i <= Cuts.size(); ++i) {
    size_t to = i < Cuts.size() ? Cuts[i] : Data.size();
    if (to <= from) continue;
    auto got = static_cast<int32_t>(to - from);
    uint8_t* tail = s.ReserveTail(got);
    std::memcpy(tail, Data.data() + from, to - from);
    tail[got] = 0;
    std::string* echo = Echo ? &r.Echo : nullptr;
    if (!(Edit && s.EditTail(got, End, echo)) && echo) echo->append(Data, from, to - from);
    s.CommitTail(got);
    s.CheckTerminatingZero();
    while (int32_t length = s.FindLine(End)) {
      std::string line(static_cast<size_t>(length), '\0');
      for (int32_t at = 0; at < length; at += Piece) {
        int32_t n = length - at < Piece ? length - at : Piece;
        s.TakeHeld(&line[static_cast<size_t>(at)], n);
        s.CheckTerminatingZero();
      }
      r.Lines.push_back(line);
    }
    from = to;
  }
  r.Rest.assign(reinterpret_cast<const char*>(s.HeldBytes()),
                static_cast<size_t>(s.LineBufferCount));
  return r;
}

// A terminal's view, one byte at a time.
TResult Model(const std::string& Data, const std::string& End, bool Edit, bool Echo) {
  TResult r;
  std::string line;
  auto put = [&](char c) {
    line.push_back(c);
    if (line.size() >= End.size() && line.compare(line.size() - End.size(), End.size(), End) == 0) {
      r.Lines.push_back(line);
      line.clear();
    }
  };
  for (char c : Data) {
    if (Edit && c == 8) {
      if (!line.empty()) {
        line.pop_back();
        if (Echo) r.Echo += "\b \b";
      }
    } else if (Edit && c == 9) {
      do {
        if (Echo) r.Echo += ' ';
        put(' ');
      } while (line.size() % 8 != 0);
    } else {
      if (Echo) r.Echo += c;
      put(c);
    }
  }
  r.Rest = line;
  return r;
}

void Same(const TResult& a, const TResult& b, const char* what) {
  fuzz::Check(a.Lines == b.Lines, what, "lines");
  fuzz::Check(a.Rest == b.Rest, what, "held rest");
  fuzz::Check(a.Echo == b.Echo, what, "echo");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 4) return 0;
  size_t at = 0;
  const uint8_t flags = Data[at++];
  const bool edit = flags & 1;
  const bool echo = flags & 2;
  size_t endLen = 1 + ((flags >> 2) & 7);
  if (Size - at < endLen + 2) return 0;
  const std::string end(reinterpret_cast<const char*>(Data + at), endLen);
  at += endLen;
  size_t cutCount = Data[at++] & 31;
  if (Size - at < cutCount + 1) cutCount = 0;
  std::vector<uint8_t> cutBytes(Data + at, Data + at + cutCount);
  at += cutCount;
  const int32_t piece = 1 + Data[at++] % 16;
  const std::string data(reinterpret_cast<const char*>(Data + at), Size - at);

  std::vector<size_t> cuts;
  size_t pos = 0;
  for (uint8_t c : cutBytes) {
    pos += c;  // read boundaries in increasing order
    if (pos > data.size()) break;
    cuts.push_back(pos);
  }
  const TResult whole = Split(data, {}, end, edit, echo, 1 << 30);
  Same(whole, Split(data, cuts, end, edit, echo, piece), "cut reads differ from one read:");
  Same(whole, Model(data, end, edit, echo), "one read differs from the byte model:");
  return 0;
}
