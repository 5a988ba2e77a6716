// The program around an endpoint: the one message loop, standard input read on
// it, deferred work and the exit status.
#pragma once

#include <deque>
#include <functional>
#include <memory>

#include "tools/netcat/Endpoint.h"
#include "tools/netcat/MessageWindow.h"
#include "tools/netcat/Process.h"
#include "tools/netcat/StdinReader.h"

namespace vxcat {

class TApp : public THost {
 public:
  explicit TApp(const TOptions& Options);
  ~TApp() override;
  // Runs until the endpoint or an error ends the program; returns the exit status.
  int Run();

  void Finish(int ExitCode) override;
  void InputConsumed() override;
  void Defer(std::function<void()> Work) override;
  const TOptions& Options() const override { return FOptions; }

 private:
  void TakeInput(const std::string& Chunk);
  void InputEnded(int Error);
  void RunDeferred();

  TOptions FOptions;
  TMessageWindow FWindow;
  std::unique_ptr<TStdinReader> FReader;
  std::unique_ptr<TEndpoint> FEndpoint;
  std::deque<std::function<void()>> FDeferred;
  size_t FTaken = 0;  // bytes handed to the endpoint, not yet released to the reader
  bool FInputEnded = false;
  bool FFinished = false;
  int FExitCode = 0;
  // Last: gone first, so an interrupt posts nothing to a half-gone program.
  TInterruptWatch FInterrupt;
};

}  // namespace vxcat
