// One MIDI service (JACK, the ALSA sequencer, ...) as the winmm procedures see
// it: it lists its destinations, opens one into a sink, the sink sends, and
// destroying the sink closes it. Adding a service is one class in a file of its
// own and its line in the list in MidiOut.cpp; nothing else names a service.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/winmm/linux/ShortMessage.h"
#include "platform/winmm/winmm.h"

namespace winmm {

class MidiBackend;

// One destination as seen at the last enumeration.
struct DeviceEntry {
  MidiBackend* Backend = nullptr;
  std::string Name;  // full name, as the service shows it
  std::string Id;    // what Backend needs to open it again; opaque to everyone else
};

// An opened device. Destruction plays what is still queued, then disconnects.
class MidiSink {
 public:
  virtual ~MidiSink() = default;
  // Called on a sending thread, possibly several at once; never locks,
  // allocates or waits.
  virtual MMRESULT Send(const WireMessage& Message) = 0;
  // On the caller's thread, after a change was noted: whether the destination
  // is still there (MMSYSERR_NOERROR; MIDIERR_NODEVICE when it went away), and
  // connects again to one of the same name that came back. Sinks that cannot
  // tell say MMSYSERR_NOERROR.
  virtual MMRESULT Check() { return MMSYSERR_NOERROR; }
  // How often the destination went away since the open.
  virtual uint32_t Losses() const { return 0; }
};

// The name of our own output port for the Number-th device open at the same
// time (from 0): "out", "out_2", "out_3", ... Patchbay rules match on it, so a
// device always gets the lowest number free.
inline std::string OutputPortName(unsigned Number) {
  return Number == 0 ? std::string("out") : "out_" + std::to_string(Number + 1);
}

// A service calls this, on any thread of its own, each time destinations may
// have come or gone; it runs the caller's notification (midiOutNotifyChanges).
void NoteDevicesChanged();

// Enumeration, opening and destruction of sinks are serialised by the caller.
class MidiBackend {
 public:
  virtual ~MidiBackend() = default;
  // Appends one entry per destination, in the service's own order; appends
  // nothing when the service is not there.
  virtual void Enumerate(std::vector<DeviceEntry>& Devices) = 0;
  // Opens the destination an entry of ours named by Id.
  virtual MMRESULT Open(const std::string& Id, std::unique_ptr<MidiSink>& Sink) = 0;
  // At process end, with devices possibly still open: leaves the service the
  // way a closing client does.
  virtual void CloseAtExit() {}
};

}  // namespace winmm
