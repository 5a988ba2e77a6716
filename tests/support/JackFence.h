// libjack stops a closing client's notification thread by cancelling it; a
// notice being handled at that moment keeps a library-wide lock held for good,
// and the close then waits on that lock forever. A client that leaves just
// after other clients came or went first lets every notice already sent to it
// arrive, so that its close finds the thread idle.
#pragma once
#include <jack/jack.h>

#include <condition_variable>
#include <mutex>

namespace testjack {

class TJackFence {
 public:
  // Before the client is activated (the server takes callbacks only then),
  // once it has a port of its own.
  void Attach(jack_client_t* Client, jack_port_t* Port);
  // Gives the port its own name again, twice, and waits each time for the
  // notice of it: the server sends that after every notice it sent before,
  // and its second request comes after any client it found dead while it
  // handled the first. (Not a port registered for the purpose: libjack walks
  // a client's list of ports while it handles a latency notice, unguarded.)
  // False when the server has not answered within TimeoutMs.
  bool Pass(int TimeoutMs = 5000);

 private:
  friend void CloseWhenQuiet(jack_client_t* Client, TJackFence& Fence);

  static void Renamed(jack_port_id_t Port, const char* OldName, const char* NewName, void* Arg);

  jack_client_t* FClient = nullptr;
  jack_port_t* FPort = nullptr;
  std::mutex FLock;
  std::condition_variable FChanged;
  unsigned FHeard = 0;  // notices of the port's renaming so far
};

// Passes the fence (when it was attached to Client and the server still
// answers), then closes Client; the fence is then attached to nothing.
void CloseWhenQuiet(jack_client_t* Client, TJackFence& Fence);

}  // namespace testjack
