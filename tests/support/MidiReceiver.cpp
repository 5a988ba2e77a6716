#include "tests/support/MidiReceiver.h"

#include <jack/midiport.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "tests/support/JackFence.h"
#include "tests/support/Settle.h"

namespace testjack {
namespace {

// Events the test has not taken yet; more than any test sends.
constexpr size_t kRingEvents = 1u << 17;

timespec DeadlineIn(int Ms) {
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  long long ns = t.tv_nsec + static_cast<long long>(Ms) * 1000000LL;
  t.tv_sec += static_cast<time_t>(ns / 1000000000LL);
  t.tv_nsec = static_cast<long>(ns % 1000000000LL);
  return t;
}

}  // namespace

bool TMidiReceiver::Open(const std::string& ClientName, const std::vector<std::string>& PortNames,
                         std::string* Error) {
  Close();
  jack_status_t status;
  FClient = jack_client_open(ClientName.c_str(), JackNoStartServer, &status);
  if (FClient == nullptr) {
    if (Error)
      *Error = "cannot open JACK client " + ClientName + " (status " + std::to_string(status) + ")";
    return false;
  }
  FRing.reset(new TEventRing(kRingEvents));
  sem_init(&FArrived, 0, 0);
  for (const auto& name : PortNames) {
    jack_port_t* port =
        jack_port_register(FClient, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (port == nullptr) {
      if (Error) *Error = "cannot register port " + name;
      Close();
      return false;
    }
    FPorts.push_back(port);
  }
  jack_set_process_callback(FClient, Process, this);
  FFence.Attach(FClient, FPorts.empty() ? nullptr : FPorts[0]);
  if (jack_activate(FClient) != 0) {
    if (Error) *Error = "cannot activate JACK client " + ClientName;
    Close();
    return false;
  }
  return true;
}

void TMidiReceiver::Close() {
  if (FClient == nullptr) return;
  CloseWhenQuiet(FClient, FFence);
  FClient = nullptr;
  FPorts.clear();
  FRing.reset();
  sem_destroy(&FArrived);
}

std::string TMidiReceiver::PortName(int Index) const {
  return jack_port_name(FPorts.at(static_cast<size_t>(Index)));
}

std::vector<std::string> TMidiReceiver::Connections(int Index) const {
  std::vector<std::string> names;
  const char** list = jack_port_get_all_connections(FClient, FPorts.at(static_cast<size_t>(Index)));
  if (list == nullptr) return names;
  for (const char** p = list; *p != nullptr; ++p) names.push_back(*p);
  jack_free(list);
  return names;
}

bool TMidiReceiver::WaitConnections(int Index, size_t Count, int TimeoutMs) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    if (Connections(Index).size() == Count) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int TMidiReceiver::Process(jack_nframes_t Frames, void* Arg) {
  auto* self = static_cast<TMidiReceiver*>(Arg);
  jack_nframes_t start = jack_last_frame_time(self->FClient);
  jack_time_t now = jack_get_time();
  bool any = false;
  for (size_t i = 0; i < self->FPorts.size(); ++i) {
    void* buffer = jack_port_get_buffer(self->FPorts[i], Frames);
    uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t k = 0; k < count; ++k) {
      jack_midi_event_t in;
      if (jack_midi_event_get(&in, buffer, k) != 0) continue;
      TMidiEvent e;
      e.Port = static_cast<int>(i);
      e.Frame = start + in.time;
      e.Offset = in.time;
      e.CycleUsecs = now;
      e.Size = static_cast<uint32_t>(in.size);
      std::memcpy(e.Bytes, in.buffer, in.size < 4 ? in.size : 4);
      if (!self->FRing->Push(e)) {
        self->FOverflows.fetch_add(1);
        continue;
      }
      any = true;
    }
  }
  if (any) sem_post(&self->FArrived);
  return 0;
}

bool TMidiReceiver::TakeOne(TMidiEvent& Event) { return FRing->Pop(Event); }

std::vector<TMidiEvent> TMidiReceiver::Wait(size_t Count, int TimeoutMs) {
  std::vector<TMidiEvent> events;
  timespec deadline = DeadlineIn(TimeoutMs);
  TMidiEvent e;
  while (events.size() < Count) {
    if (TakeOne(e)) {
      events.push_back(e);
      continue;
    }
    if (sem_timedwait(&FArrived, &deadline) != 0 && errno == ETIMEDOUT) {
      while (events.size() < Count && TakeOne(e)) events.push_back(e);
      break;
    }
  }
  return events;
}

std::vector<TMidiEvent> TMidiReceiver::Settle() { return Wait(SIZE_MAX, testsupport::kSettleMs); }

}  // namespace testjack
