#include "tests/support/JackFence.h"

#include <chrono>

namespace testjack {

void TJackFence::Attach(jack_client_t* Client) {
  FClient = Client;
  jack_set_port_registration_callback(Client, Registration, this);
}

void TJackFence::Registration(jack_port_id_t Port, int Registered, void* Arg) {
  auto* self = static_cast<TJackFence*>(Arg);
  std::lock_guard<std::mutex> hold(self->FLock);
  if (self->FStep == 0 && Registered) {
    jack_port_t* port = jack_port_by_id(self->FClient, Port);
    if (port == nullptr || self->FName != jack_port_name(port)) return;
    self->FId = Port;
    self->FStep = 1;
  } else if (self->FStep == 1 && !Registered && Port == self->FId) {
    self->FStep = 2;
  } else {
    return;
  }
  self->FChanged.notify_all();
}

bool TJackFence::WaitFor(int Step, int TimeoutMs) {
  std::unique_lock<std::mutex> hold(FLock);
  return FChanged.wait_for(hold, std::chrono::milliseconds(TimeoutMs),
                           [&] { return FStep >= Step; });
}

bool TJackFence::Pass(int TimeoutMs) {
  if (FClient == nullptr) return false;
  {
    std::lock_guard<std::mutex> hold(FLock);
    FStep = 0;
    FName = std::string(jack_get_client_name(FClient)) + ":fence";
  }
  jack_port_t* port = jack_port_register(FClient, "fence", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (port == nullptr) return false;
  const bool heard = WaitFor(1, TimeoutMs);
  if (jack_port_unregister(FClient, port) != 0 || !heard) return false;
  return WaitFor(2, TimeoutMs);
}

void CloseWhenQuiet(jack_client_t* Client, TJackFence& Fence) {
  if (Fence.FClient == Client) Fence.Pass();
  jack_client_close(Client);
  Fence.FClient = nullptr;
}

}  // namespace testjack
