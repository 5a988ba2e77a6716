// The byte store under line mode: held bytes, finding a terminator, taking
// lines off the front, and terminal-style editing of newly received bytes.
// Knows nothing of sockets or events, so it can be driven on its own.
//
// Held bytes sit at LineBuffer + LineStart (LineBufferCount of them, always
// followed by a zero byte inside the block). Taking bytes only advances
// LineStart; the held rest is moved to the front once per read, when room is
// made for new bytes, so splitting a large read into short lines stays linear.
#pragma once

#include <cstdint>
#include <string>

class TLineSplitter {
 public:
  TLineSplitter() = default;
  ~TLineSplitter() { FreeLineBuffer(); }
  TLineSplitter(const TLineSplitter&) = delete;
  TLineSplitter& operator=(const TLineSplitter&) = delete;

  uint8_t* LineBuffer = nullptr;
  int32_t LineBufferSize = 0;
  int32_t LineBufferCount = 0;
  // Length of the line being offered (terminator included), at the front of the held bytes.
  int32_t CurrentLineLength = 0;

  // The held bytes.
  const uint8_t* HeldBytes() const { return LineBuffer + LineStart; }
  // Moves the held bytes to the front and makes room for Count more after
  // them; returns where they go. Count must be above 0.
  uint8_t* ReserveTail(int32_t Count);
  // Count bytes were written at the tail (by a read, or by editing): they are held now.
  void CommitTail(int32_t Count);
  // Applies backspace and tab editing to the Count bytes at the tail, in place
  // at the tail's end. Lowers LineBufferCount to the lowest changed position and
  // sets Count so that both add up to the edited length; what a terminal
  // should see goes to Echo (when not null). Returns false when the bytes hold
  // no backspace or tab (then nothing changed and nothing was added to Echo).
  bool EditTail(int32_t& Count, const std::string& LineEnd, std::string* Echo);
  // Length of the first complete line in the held bytes (terminator included),
  // or 0 when none has arrived. Never looks at the same bytes twice between reads.
  int32_t FindLine(const std::string& LineEnd);
  // Takes Count held bytes off the front into Dest (nullptr: drops them).
  void TakeHeld(void* Dest, int32_t Count);
  // Forgets every held byte; keeps the block.
  void ClearHeld();
  // Held bytes must be searched again from the start (the terminator or the mode changed).
  void RescanHeld() { Scanned = 0; }
  // True when some held bytes have not been searched for a terminator yet.
  bool Unscanned() const { return LineBufferCount > Scanned; }
  // Bytes taken off the front so far (taken or dropped), to tell progress.
  uint64_t HeldTaken() const { return TakenTotal; }
  void FreeLineBuffer();

 protected:
  int32_t LineStart = 0;  // offset of the first held byte
  int32_t Scanned = 0;    // held bytes already searched without finding a terminator
  uint64_t TakenTotal = 0;
  std::string EditInput;  // the tail's bytes while editing rewrites them

 private:
  void Grow(int32_t Needed);
};
