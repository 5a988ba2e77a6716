// MIDI output devices on the ALSA sequencer: the writable, subscribable ports
// of other clients. Contributes nothing where the machine has no sequencer.
#pragma once

#include <memory>
#include <vector>

#include "platform/winmm/Backend.h"

typedef struct _snd_seq snd_seq_t;

namespace winmm {

class AlsaBackend {
 public:
  void Enumerate(std::vector<DeviceEntry>& Devices);
  // Creates a source port of ours and subscribes the destination to it.
  MMRESULT Open(int Client, int Port, std::unique_ptr<MidiSink>& Sink);

 private:
  // The sequencer handle, opened on first use; null without a sequencer.
  snd_seq_t* Sequencer();

  snd_seq_t* FSeq = nullptr;
  unsigned FPortSerial = 0;
};

}  // namespace winmm
