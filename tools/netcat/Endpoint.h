// The network end of vxcat. Each mode (TCP or UDP, connecting or listening) is
// one endpoint; the program feeds it standard input and it writes what the
// network sends to standard output. A new mode is one more endpoint.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tools/netcat/Options.h"

namespace vxcat {

// What an endpoint may ask of the program around it.
class THost {
 public:
  virtual ~THost() = default;
  // Ends the program once the current message has been handled; the first
  // non-zero code wins.
  virtual void Finish(int ExitCode) = 0;
  // Input handed over earlier may have gone out: the program asks Drained().
  virtual void InputConsumed() = 0;
  // Runs Work after the current message (for instance to free a socket object
  // from outside its own event handler).
  virtual void Defer(std::function<void()> Work) = 0;
  virtual const TOptions& Options() const = 0;
};

class TEndpoint {
 public:
  virtual ~TEndpoint() = default;
  // Opens the socket(s). Raises the component's exception on failure.
  virtual void Start() = 0;
  // Bytes read from standard input, in order.
  virtual void Input(const std::string& Data) = 0;
  // Standard input has ended; everything before it came through Input.
  virtual void InputEnded() = 0;
  // Everything given to Input has been handed to the network.
  virtual bool Drained() const = 0;
};

std::unique_ptr<TEndpoint> MakeTcpClient(THost& Host);
std::unique_ptr<TEndpoint> MakeTcpServer(THost& Host);
std::unique_ptr<TEndpoint> MakeUdpClient(THost& Host);
std::unique_ptr<TEndpoint> MakeUdpServer(THost& Host);

// Writes all bytes to standard output; false (and errno set) when it cannot.
bool WriteOut(const char* Data, size_t Len);
// One line "vxcat: Text" on standard error.
void Report(const std::string& Text);
// Report for an error code that arrived as an event argument, in the words the
// component uses when it raises: "Error <code> in function <name>" CR LF description.
void ReportSocketError(int Code, const std::string& FuncName);
// Reports a failed write to standard output and ends the program.
void ReportOutputFailure(THost& Host);

}  // namespace vxcat
