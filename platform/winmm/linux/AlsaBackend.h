// MIDI output devices on the ALSA sequencer: the writable, subscribable ports
// of other clients. Contributes nothing where the machine has no sequencer.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "platform/winmm/linux/Backend.h"

typedef struct _snd_seq snd_seq_t;

namespace winmm {

class AlsaBackend : public MidiBackend {
 public:
  void Enumerate(std::vector<DeviceEntry>& Devices) override;
  // Creates a source port of ours and subscribes the destination to it.
  MMRESULT Open(const std::string& Id, std::unique_ptr<MidiSink>& Sink) override;

 private:
  friend class AlsaSink;
  // The sequencer handle, opened on first use; null without a sequencer.
  snd_seq_t* Sequencer();

  snd_seq_t* FSeq = nullptr;
  // Which output port numbers (see OutputPortName) open sinks hold.
  std::vector<bool> FPortsInUse;
  std::atomic_flag FSending = ATOMIC_FLAG_INIT;
};

}  // namespace winmm
