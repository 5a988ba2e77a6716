#include "platform/winmm/AlsaBackend.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace winmm {
namespace {

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Fills Event from wire bytes; false for a byte the sequencer has no typed event for.
bool ToEvent(const WireMessage& M, snd_seq_event_t& Event) {
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

class AlsaSink : public MidiSink {
 public:
  AlsaSink(snd_seq_t* Seq, int OwnPort, int Client, int Port)
      : FSeq(Seq), FOwnPort(OwnPort), FClient(Client), FPort(Port) {}

  ~AlsaSink() override {
    snd_seq_disconnect_to(FSeq, FOwnPort, FClient, FPort);
    snd_seq_delete_simple_port(FSeq, FOwnPort);
  }

  MMRESULT Send(const WireMessage& Message) override {
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    WireMessage raw = Message;
    // Undefined system bytes travel as raw bytes, as the sequencer's MIDI bridges do.
    if (!ToEvent(Message, ev)) snd_seq_ev_set_sysex(&ev, raw.size, raw.bytes);
    snd_seq_ev_set_source(&ev, FOwnPort);
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    int r = snd_seq_event_output_direct(FSeq, &ev);
    if (r >= 0) return MMSYSERR_NOERROR;
    return r == -EAGAIN ? MIDIERR_NOTREADY : MMSYSERR_ERROR;
  }

 private:
  snd_seq_t* FSeq;
  int FOwnPort, FClient, FPort;
};

}  // namespace

snd_seq_t* AlsaBackend::Sequencer() {
  if (FSeq != nullptr) return FSeq;
  // Without the device node alsa-lib would only complain; there is simply no sequencer.
  if (access("/dev/snd/seq", F_OK) != 0) return nullptr;
  snd_lib_error_set_handler(QuietAlsa);
  snd_seq_t* seq = nullptr;
  // Non-blocking, so a congested destination yields a result code, never a wait.
  if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0) return nullptr;
  snd_seq_set_client_name(seq, "vorlanx");
  FSeq = seq;
  return FSeq;
}

void AlsaBackend::Enumerate(std::vector<DeviceEntry>& Devices) {
  snd_seq_t* seq = Sequencer();
  if (seq == nullptr) return;
  int self = snd_seq_client_id(seq);
  snd_seq_client_info_t* client;
  snd_seq_port_info_t* port;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  const unsigned wanted = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq, client) >= 0) {
    int id = snd_seq_client_info_get_client(client);
    if (id == self || id == SND_SEQ_CLIENT_SYSTEM) continue;
    snd_seq_port_info_set_client(port, id);
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq, port) >= 0) {
      unsigned caps = snd_seq_port_info_get_capability(port);
      if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) continue;
      DeviceEntry entry;
      entry.Kind = BackendKind::Alsa;
      entry.Name = std::string(snd_seq_client_info_get_name(client)) + ":" +
                   snd_seq_port_info_get_name(port);
      entry.AlsaClient = id;
      entry.AlsaPort = snd_seq_port_info_get_port(port);
      Devices.push_back(std::move(entry));
    }
  }
}

MMRESULT AlsaBackend::Open(int Client, int Port, std::unique_ptr<MidiSink>& Sink) {
  snd_seq_t* seq = Sequencer();
  if (seq == nullptr) return MMSYSERR_NODRIVER;
  std::string name = "out_" + std::to_string(++FPortSerial);
  int own = snd_seq_create_simple_port(
      seq, name.c_str(), SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (own < 0) return MMSYSERR_ERROR;
  if (snd_seq_connect_to(seq, own, Client, Port) < 0) {
    snd_seq_delete_simple_port(seq, own);
    return MIDIERR_NODEVICE;
  }
  Sink.reset(new AlsaSink(seq, own, Client, Port));
  return MMSYSERR_NOERROR;
}

}  // namespace winmm
