// Standard input cut into UDP datagrams as --datagram and --hex ask: bytes go
// in as they are read, whole datagrams come out.
#pragma once

#include <cstddef>
#include <string>

#include "tools/netcat/Options.h"

namespace vxcat {

class TDatagramCutter {
 public:
  explicit TDatagramCutter(const TOptions& Options);
  void Add(const std::string& Data);
  // Standard input has ended: what is left may go as the last datagram.
  void End() { FEnded = true; }
  // Takes the next datagram into Out; false while none is complete. A --hex
  // line that is not byte pairs is reported on standard error and skipped.
  bool Next(std::string& Out);
  // No byte waits in here.
  bool Empty() const { return FAt == FHeld.size(); }
  // Some line was skipped.
  bool Skipped() const { return FSkipped; }

 private:
  bool NextLine(std::string& Out);
  // The bytes a line writes, into Out; false (and reported) when it is malformed.
  bool ParseLine(const std::string& Line, std::string& Out);
  void SkipLine(const std::string& Why);

  TFraming FFraming;
  size_t FSize;
  std::string FHeld;
  size_t FAt = 0;  // FHeld before this has been taken
  bool FEnded = false;
  size_t FLineNumber = 0;  // of the last line taken
  bool FOverlong = false;  // the line under way is too long: its bytes are dropped
  bool FSkipped = false;
};

}  // namespace vxcat
