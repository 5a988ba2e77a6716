#include "Recorder.h"

#include <jack/midiport.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "Clock.h"

namespace relaybench {
namespace {

void Quiet(const char*) {}

}  // namespace

TRecorder::TRecorder() {
  for (TCapture& c : FCaptures) {
    c.VisibleNs.reset(new int64_t[kSeqCapacity]);
    c.Copies.reset(new uint16_t[kSeqCapacity]);
    // Touch every page now, so the callback never faults one in.
    std::memset(c.VisibleNs.get(), 0, sizeof(int64_t) * kSeqCapacity);
    std::memset(c.Copies.get(), 0, sizeof(uint16_t) * kSeqCapacity);
  }
}

bool TRecorder::Open(const std::string& ClientName, std::string* Error) {
  Close();
  jack_set_error_function(Quiet);
  jack_status_t status;
  FClient = jack_client_open(ClientName.c_str(), JackNoStartServer, &status);
  if (FClient == nullptr) {
    if (Error) *Error = "cannot open JACK client (status " + std::to_string(status) + ")";
    return false;
  }
  FRate = jack_get_sample_rate(FClient);
  FPort = jack_port_register(FClient, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  FFence.Attach(FClient, FPort);
  if (FPort == nullptr || jack_set_process_callback(FClient, Process, this) != 0 ||
      jack_activate(FClient) != 0) {
    if (Error) *Error = "cannot register and activate the receiving port";
    Close();
    return false;
  }
  return true;
}

void TRecorder::Close() {
  if (FClient == nullptr) return;
  jack_deactivate(FClient);
  testjack::CloseWhenQuiet(FClient, FFence);
  FClient = nullptr;
  FPort = nullptr;
}

std::string TRecorder::PortName() const { return FPort ? jack_port_name(FPort) : ""; }

int TRecorder::Connections() const { return FPort ? jack_port_connected(FPort) : 0; }

void TRecorder::Arm(int Parity) {
  Disarm();
  TCapture& c = FCaptures[Parity & 1];
  std::memset(c.VisibleNs.get(), 0, sizeof(int64_t) * kSeqCapacity);
  std::memset(c.Copies.get(), 0, sizeof(uint16_t) * kSeqCapacity);
  c.Received = 0;
  c.Reordered = 0;
  c.Duplicates = 0;
  c.MaxPerCycle = 0;
  c.MaxSeq = 0;
  c.Any = false;
  FArmed.store(Parity & 1, std::memory_order_release);
}

void TRecorder::Disarm() {
  FArmed.store(-1);  // sequentially consistent with the callback's cycle count
  // A callback that read the old value may still be writing: wait for it to end.
  uint64_t seen = FCycles.load();
  if ((seen & 1) == 0) return;
  for (int i = 0; i < 1000 && FCycles.load() == seen; ++i) usleep(1000);
}

int TRecorder::Process(jack_nframes_t Frames, void* Arg) {
  const int64_t start = MonotonicNs();
  auto* self = static_cast<TRecorder*>(Arg);
  self->FCycles.fetch_add(1);
  const int armed = self->FArmed.load();
  void* buffer = jack_port_get_buffer(self->FPort, Frames);
  const uint32_t count = jack_midi_get_event_count(buffer);
  uint32_t inPhase = 0;
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0) continue;
    uint32_t seq;
    int parity;
    if (event.size != 3 || !DecodeSeq(event.buffer, seq, parity)) {
      self->FForeign.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    if (parity != armed) {
      self->FStale.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    TCapture& c = self->FCaptures[parity];
    ++inPhase;
    if (c.Copies[seq]++ != 0) {
      c.Duplicates.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    c.VisibleNs[seq] = start + static_cast<int64_t>(event.time) * 1000000000LL / self->FRate;
    if (c.Any.load(std::memory_order_relaxed) && seq < c.MaxSeq.load(std::memory_order_relaxed))
      c.Reordered.fetch_add(1, std::memory_order_relaxed);
    else
      c.MaxSeq.store(seq, std::memory_order_relaxed);
    c.Any.store(true, std::memory_order_relaxed);
    c.Received.fetch_add(1, std::memory_order_release);
  }
  if (armed >= 0 && inPhase > self->FCaptures[armed].MaxPerCycle.load(std::memory_order_relaxed))
    self->FCaptures[armed].MaxPerCycle.store(inPhase, std::memory_order_relaxed);
  self->FCycles.fetch_add(1);
  return 0;
}

}  // namespace relaybench
