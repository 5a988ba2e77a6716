#include "tests/app/MidiSource.h"

#include <jack/midiport.h>

#include <cstdint>

namespace relaytest {

namespace {
// Each queued message: its size, then three bytes.
constexpr size_t kSlot = 4;
}  // namespace

bool TMidiSource::Open(const std::string& ClientName, std::string* Error) {
  Close();
  jack_status_t status;
  FClient = jack_client_open(ClientName.c_str(), JackNoStartServer, &status);
  if (FClient == nullptr) {
    if (Error) *Error = "cannot open JACK client " + ClientName;
    return false;
  }
  FRing = jack_ringbuffer_create(4096);
  FPort = jack_port_register(FClient, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(FClient, Process, this);
  FFence.Attach(FClient, FPort);
  if (FPort == nullptr || jack_activate(FClient) != 0) {
    if (Error) *Error = "cannot start JACK client " + ClientName;
    Close();
    return false;
  }
  return true;
}

void TMidiSource::Close() {
  if (FClient != nullptr) testjack::CloseWhenQuiet(FClient, FFence);
  FClient = nullptr;
  FPort = nullptr;
  if (FRing != nullptr) jack_ringbuffer_free(FRing);
  FRing = nullptr;
}

bool TMidiSource::Connect(const std::string& To) {
  return FClient != nullptr && jack_connect(FClient, jack_port_name(FPort), To.c_str()) == 0;
}

std::string TMidiSource::FindInput(const std::string& Pattern) const {
  std::string name;
  if (FClient == nullptr) return name;
  const char** ports =
      jack_get_ports(FClient, Pattern.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  if (ports != nullptr) {
    if (ports[0] != nullptr) name = ports[0];
    jack_free(ports);
  }
  return name;
}

bool TMidiSource::Play(const std::string& Bytes) {
  if (FRing == nullptr || Bytes.empty() || Bytes.size() > 3 ||
      jack_ringbuffer_write_space(FRing) < kSlot)
    return false;
  char slot[kSlot] = {static_cast<char>(Bytes.size()), 0, 0, 0};
  for (size_t i = 0; i < Bytes.size(); ++i) slot[1 + i] = Bytes[i];
  jack_ringbuffer_write(FRing, slot, kSlot);
  return true;
}

int TMidiSource::Process(jack_nframes_t Frames, void* Arg) {
  auto* self = static_cast<TMidiSource*>(Arg);
  void* buffer = jack_port_get_buffer(self->FPort, Frames);
  jack_midi_clear_buffer(buffer);
  // jack_connect returns before the server runs a graph that holds the new
  // connection: until a cycle sees it, what is played here would reach nobody.
  if (!jack_port_connected(self->FPort)) return 0;
  char slot[kSlot];
  while (jack_ringbuffer_read_space(self->FRing) >= kSlot) {
    jack_ringbuffer_read(self->FRing, slot, kSlot);
    jack_midi_event_write(buffer, 0, reinterpret_cast<const jack_midi_data_t*>(slot + 1),
                          static_cast<size_t>(slot[0]));
  }
  return 0;
}

}  // namespace relaytest
