#include "tests/support/JackFence.h"

#include <chrono>

namespace testjack {

void TJackFence::Attach(jack_client_t* Client, jack_port_t* Port) {
  FClient = Client;
  FPort = Port;
  jack_set_port_rename_callback(Client, Renamed, this);
}

void TJackFence::Renamed(jack_port_id_t Port, const char*, const char*, void* Arg) {
  auto* self = static_cast<TJackFence*>(Arg);
  if (jack_port_by_id(self->FClient, Port) != self->FPort) return;
  std::lock_guard<std::mutex> hold(self->FLock);
  ++self->FHeard;
  self->FChanged.notify_all();
}

bool TJackFence::Pass(int TimeoutMs) {
  if (FClient == nullptr || FPort == nullptr) return false;
  for (int round = 0; round < 2; ++round) {
    unsigned heard;
    {
      std::lock_guard<std::mutex> hold(FLock);
      heard = FHeard;
    }
    if (jack_port_rename(FClient, FPort, jack_port_short_name(FPort)) != 0) return false;
    std::unique_lock<std::mutex> hold(FLock);
    if (!FChanged.wait_for(hold, std::chrono::milliseconds(TimeoutMs), [&] { return FHeard > heard; }))
      return false;
  }
  return true;
}

void CloseWhenQuiet(jack_client_t* Client, TJackFence& Fence) {
  if (Fence.FClient == Client) Fence.Pass();
  jack_client_close(Client);
  Fence.FClient = nullptr;
  Fence.FPort = nullptr;
}

}  // namespace testjack
