// What the ALSA backend decides without a sequencer: which ports are output
// devices, how they are named and identified, and which sequencer event a
// message becomes.
#pragma once

#include <alsa/asoundlib.h>

#include <string>
#include <vector>

#include "platform/winmm/linux/Backend.h"

namespace winmm {

// One port as the sequencer describes it.
struct AlsaPortInfo {
  int Client = 0;
  int Port = 0;
  std::string ClientName;
  std::string PortName;
  unsigned Capability = 0;  // SND_SEQ_PORT_CAP_* bits
};

// Appends an entry for every port of Ports that another program can be sent to:
// writable and open to subscription, not hidden, and neither ours (Self) nor
// the sequencer's own system client. Names are "client:port".
void AlsaDestinations(const std::vector<AlsaPortInfo>& Ports, int Self, MidiBackend* Backend,
                      std::vector<DeviceEntry>& Devices);
// The client and port an entry's Id names; false for an Id not made above.
bool ParseAlsaId(const std::string& Id, int& Client, int& Port);

// Fills the type and data of Event for a message; false for a status the
// sequencer has no typed event for (undefined system bytes).
bool AlsaEventFor(const WireMessage& Message, snd_seq_event_t& Event);

}  // namespace winmm
