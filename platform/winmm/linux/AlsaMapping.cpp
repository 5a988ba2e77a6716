#include "platform/winmm/linux/AlsaMapping.h"

#include <cstdio>

namespace winmm {

void AlsaDestinations(const std::vector<AlsaPortInfo>& Ports, int Self, MidiBackend* Backend,
                      std::vector<DeviceEntry>& Devices) {
  const unsigned wanted = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
  for (const AlsaPortInfo& p : Ports) {
    if (p.Client == Self || p.Client == SND_SEQ_CLIENT_SYSTEM) continue;
    if ((p.Capability & wanted) != wanted || (p.Capability & SND_SEQ_PORT_CAP_NO_EXPORT) != 0)
      continue;
    DeviceEntry entry;
    entry.Backend = Backend;
    entry.Name = p.ClientName + ":" + p.PortName;
    entry.Id = std::to_string(p.Client) + ":" + std::to_string(p.Port);
    Devices.push_back(std::move(entry));
  }
}

bool ParseAlsaId(const std::string& Id, int& Client, int& Port) {
  int used = 0;
  if (std::sscanf(Id.c_str(), "%d:%d%n", &Client, &Port, &used) != 2) return false;
  return used == static_cast<int>(Id.size()) && Client >= 0 && Port >= 0;
}

bool AlsaEventFor(const WireMessage& M, snd_seq_event_t& Event) {
  uint8_t status = M.bytes[0];
  uint8_t d1 = M.bytes[1];
  uint8_t d2 = M.bytes[2];
  uint8_t channel = status & 0x0F;
  switch (status & 0xF0) {
    case 0x80:
      snd_seq_ev_set_noteoff(&Event, channel, d1, d2);
      return true;
    case 0x90:
      snd_seq_ev_set_noteon(&Event, channel, d1, d2);
      return true;
    case 0xA0:
      snd_seq_ev_set_keypress(&Event, channel, d1, d2);
      return true;
    case 0xB0:
      snd_seq_ev_set_controller(&Event, channel, d1, d2);
      return true;
    case 0xC0:
      snd_seq_ev_set_pgmchange(&Event, channel, d1);
      return true;
    case 0xD0:
      snd_seq_ev_set_chanpress(&Event, channel, d1);
      return true;
    case 0xE0:
      snd_seq_ev_set_pitchbend(&Event, channel, ((d2 & 0x7F) << 7 | (d1 & 0x7F)) - 8192);
      return true;
    default:
      break;
  }
  Event.data.control.value = 0;
  switch (status) {
    case 0xF1:
      Event.type = SND_SEQ_EVENT_QFRAME;
      Event.data.control.value = d1;
      return true;
    case 0xF2:
      Event.type = SND_SEQ_EVENT_SONGPOS;
      Event.data.control.value = (d2 & 0x7F) << 7 | (d1 & 0x7F);
      return true;
    case 0xF3:
      Event.type = SND_SEQ_EVENT_SONGSEL;
      Event.data.control.value = d1;
      return true;
    case 0xF6:
      Event.type = SND_SEQ_EVENT_TUNE_REQUEST;
      return true;
    case 0xF8:
      Event.type = SND_SEQ_EVENT_CLOCK;
      return true;
    case 0xFA:
      Event.type = SND_SEQ_EVENT_START;
      return true;
    case 0xFB:
      Event.type = SND_SEQ_EVENT_CONTINUE;
      return true;
    case 0xFC:
      Event.type = SND_SEQ_EVENT_STOP;
      return true;
    case 0xFE:
      Event.type = SND_SEQ_EVENT_SENSING;
      return true;
    case 0xFF:
      Event.type = SND_SEQ_EVENT_RESET;
      return true;
    default:
      return false;
  }
}

}  // namespace winmm
