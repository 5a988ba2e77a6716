// libjack stops a closing client's notification thread by cancelling it; a
// notice being handled at that moment keeps a library-wide lock held for good,
// and the close then waits on that lock forever. A client that leaves just
// after other clients came or went first lets every notice already sent to it
// arrive, so that its close finds the thread idle.
#pragma once
#include <jack/jack.h>

#include <condition_variable>
#include <mutex>
#include <string>

namespace testjack {

class TJackFence {
 public:
  // Before the client is activated (the server takes callbacks only then).
  void Attach(jack_client_t* Client);
  // Registers a port of its own and unregisters it, and waits for both
  // notices: the server sends them after every notice it sent before. False
  // when the server has not answered within TimeoutMs.
  bool Pass(int TimeoutMs = 5000);

 private:
  friend void CloseWhenQuiet(jack_client_t* Client, TJackFence& Fence);

  static void Registration(jack_port_id_t Port, int Registered, void* Arg);
  bool WaitFor(int Step, int TimeoutMs);

  jack_client_t* FClient = nullptr;
  std::string FName;  // "client:port" of the fence's port
  std::mutex FLock;
  std::condition_variable FChanged;
  jack_port_id_t FId = 0;
  int FStep = 0;  // 1 once the registration was heard, 2 once its removal was
};

// Passes the fence (when it was attached to Client and the server still
// answers), then closes Client; the fence is then attached to nothing.
void CloseWhenQuiet(jack_client_t* Client, TJackFence& Fence);

}  // namespace testjack
