// The user's interrupt while a test note sounds (Ctrl+C; on Linux also
// SIGTERM, on Windows also Ctrl+Break and closing the console): it ends the
// hold early instead of the program, so the note is still ended and the device
// closed. Outside a guard an interrupt acts as it always does.
#pragma once

namespace vxmidi {

class TInterruptGuard {
 public:
  TInterruptGuard();
  ~TInterruptGuard();
  TInterruptGuard(const TInterruptGuard&) = delete;
  TInterruptGuard& operator=(const TInterruptGuard&) = delete;

  // Waits Ms milliseconds, or less when an interrupt comes (or came) meanwhile.
  void Wait(unsigned Ms);
  bool Interrupted() const { return FInterrupted; }

 private:
  bool FInterrupted = false;
};

}  // namespace vxmidi
