// What MidiOut.cpp needs from a MIDI service (JACK, ALSA sequencer).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/winmm/ShortMessage.h"
#include "platform/winmm/winmm.h"

namespace winmm {

enum class BackendKind { Jack, Alsa };

// One destination as seen at the last enumeration.
struct DeviceEntry {
  BackendKind Kind = BackendKind::Jack;
  std::string Name;      // full name; the capabilities record holds its first 32 bytes
  std::string JackPort;  // full port name of the destination
  int AlsaClient = -1;
  int AlsaPort = -1;
};

// An opened device. Destruction plays what is still queued, then disconnects.
class MidiSink {
 public:
  virtual ~MidiSink() = default;
  // Called on the sending thread; never locks, allocates or waits.
  virtual MMRESULT Send(const WireMessage& Message) = 0;
};

}  // namespace winmm
