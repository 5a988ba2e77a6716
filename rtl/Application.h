// The application object's core: message processing, the terminated flag and the
// top-level exception handler. A window backend derives from it and replaces the
// global Application; the platform layer plugs in the per-thread message pump.
#pragma once

#include <exception>
#include <string>

#include "rtl/Object.h"

// Processes one pending message of the calling thread. Returns false when there
// was none. Sets Quit when the message was a quit message (it is not dispatched).
using TProcessMessageHook = bool (*)(bool& Quit);

class TApplicationCore : public TComponent {
 public:
  TApplicationCore();
  ~TApplicationCore() override;

  // Processes every pending message, then returns; a quit message sets Terminated.
  virtual void ProcessMessages();
  // True when ProcessMessages serves nothing but the thread's message queue, so
  // a wait on that queue alone misses nothing (waiting loops sleep there).
  virtual bool ServesQueueOnly() const { return true; }
  bool Terminated() const { return FTerminated; }
  void SetTerminated(bool value) { FTerminated = value; }
  virtual void Terminate() { FTerminated = true; }

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& value) { FTitle = value; }

  // The top-level handler: shows the exception and lets the program carry on.
  virtual void HandleException(const std::exception& E);
  // Shows a message the way the error box would; the core writes one line to stderr.
  virtual void ShowException(const std::exception& E);

  // Installed by the platform layer when a thread gets its message queue.
  static void SetProcessMessageHook(TProcessMessageHook hook);
  static TProcessMessageHook ProcessMessageHook();

 private:
  bool FTerminated = false;
  std::string FTitle;
};

// The text the error box shows for a message: "." is appended when the last
// byte sorts above ".".
std::string ErrorBoxText(const std::string& Message);

// The message of any exception: Exception::Message(), otherwise what().
std::string ExceptionMessage(const std::exception& E);

// The process-wide application object; a default core until a backend replaces it.
extern TApplicationCore* Application;
