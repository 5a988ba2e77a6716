#include "tools/netcat/Datagrams.h"

#include "tools/netcat/Endpoint.h"

namespace vxcat {

namespace {

// Without --datagram or --hex: what one send block of the component carries.
constexpr size_t kReadsDatagram = 1460;
// A line of --hex longer than this is dropped as it comes in, not held: room
// for the largest datagram as pairs with a blank between them, and a comment.
constexpr size_t kMaxHexLine = 3 * kMaxDatagram + 4096;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TDatagramCutter::TDatagramCutter(const TOptions& Options)
    : FFraming(Options.Framing),
      FSize(Options.Framing == TFraming::Fixed ? Options.DatagramSize : kReadsDatagram) {}

void TDatagramCutter::Add(const std::string& Data) {
  // What was taken goes once it is the larger part: each byte moves at most once more.
  if (FAt > 0 && FAt >= FHeld.size() - FAt) {
    FHeld.erase(0, FAt);
    FAt = 0;
  }
  FHeld += Data;
}

bool TDatagramCutter::Next(std::string& Out) {
  if (FFraming == TFraming::Hex) return NextLine(Out);
  size_t left = FHeld.size() - FAt;
  if (left == 0 || (FFraming == TFraming::Fixed && left < FSize && !FEnded)) return false;
  size_t n = left < FSize ? left : FSize;
  Out.assign(FHeld, FAt, n);
  FAt += n;
  return true;
}

bool TDatagramCutter::NextLine(std::string& Out) {
  for (;;) {
    size_t end = FHeld.find('\n', FAt);
    if (end == std::string::npos) {
      if (FHeld.size() - FAt > kMaxHexLine) {
        FOverlong = true;  // keep nothing of it; the line is skipped at its end
        FAt = FHeld.size();
      }
      if (!FEnded || (FAt == FHeld.size() && !FOverlong)) return false;
      end = FHeld.size();  // the last line, without a line end
    }
    std::string line = FHeld.substr(FAt, end - FAt);
    FAt = end < FHeld.size() ? end + 1 : end;
    ++FLineNumber;
    if (FOverlong) {
      FOverlong = false;
      SkipLine("longer than " + std::to_string(kMaxHexLine) + " characters");
      continue;
    }
    if (ParseLine(line, Out)) return true;
  }
}

bool TDatagramCutter::ParseLine(const std::string& Line, std::string& Out) {
  Out.clear();
  size_t stop = Line.find('#');
  if (stop == std::string::npos) stop = Line.size();
  int high = -1;  // the first digit of a pair under way
  for (size_t i = 0; i < stop; ++i) {
    char c = Line[i];
    bool blank = c == ' ' || c == '\t' || c == '\r';
    int v = HexValue(c);
    if (blank && high < 0) continue;
    if (v < 0) {
      SkipLine(std::string("not hexadecimal byte pairs: ") + Line.substr(0, 80));
      return false;
    }
    if (high < 0) {
      high = v;
      continue;
    }
    Out += static_cast<char>(high * 16 + v);
    high = -1;
  }
  if (high >= 0) {
    SkipLine(std::string("not hexadecimal byte pairs: ") + Line.substr(0, 80));
    return false;
  }
  if (Out.size() > kMaxDatagram) {
    SkipLine("more than " + std::to_string(kMaxDatagram) + " bytes for one datagram");
    return false;
  }
  return !Out.empty();  // a blank line or a comment sends nothing
}

void TDatagramCutter::SkipLine(const std::string& Why) {
  FSkipped = true;
  std::string text = Why;
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
  Report("line " + std::to_string(FLineNumber) + ": " + text + ", skipped");
}

}  // namespace vxcat
