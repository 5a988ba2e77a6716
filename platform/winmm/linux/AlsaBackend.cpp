#include "platform/winmm/linux/AlsaBackend.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/winmm/linux/AlsaMapping.h"

namespace winmm {
namespace {

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

class AlsaSink : public MidiSink {
 public:
  AlsaSink(AlsaBackend& Backend, unsigned Number, int OwnPort, int Client, int Port)
      : FBackend(Backend), FNumber(Number), FOwnPort(OwnPort), FClient(Client), FPort(Port) {}

  ~AlsaSink() override {
    snd_seq_disconnect_to(FBackend.FSeq, FOwnPort, FClient, FPort);
    snd_seq_delete_simple_port(FBackend.FSeq, FOwnPort);
    FBackend.FPortsInUse[FNumber] = false;
  }

  MMRESULT Send(const WireMessage& Message) override {
    // The sequencer handle is not for two threads at once; a second sender is
    // told the port is busy rather than made to wait.
    if (FBackend.FSending.test_and_set(std::memory_order_acquire)) return MIDIERR_NOTREADY;
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    WireMessage raw = Message;
    // Undefined system bytes travel as raw bytes, as the sequencer's MIDI bridges do.
    if (!AlsaEventFor(Message, ev)) snd_seq_ev_set_sysex(&ev, raw.size, raw.bytes);
    snd_seq_ev_set_source(&ev, FOwnPort);
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    int r = snd_seq_event_output_direct(FBackend.FSeq, &ev);
    FBackend.FSending.clear(std::memory_order_release);
    if (r >= 0) return MMSYSERR_NOERROR;
    return r == -EAGAIN ? MIDIERR_NOTREADY : MMSYSERR_ERROR;
  }

 private:
  AlsaBackend& FBackend;
  unsigned FNumber;
  int FOwnPort, FClient, FPort;
};

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
  std::vector<AlsaPortInfo> ports;
  snd_seq_client_info_t* client;
  snd_seq_port_info_t* port;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq, client) >= 0) {
    int id = snd_seq_client_info_get_client(client);
    snd_seq_port_info_set_client(port, id);
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq, port) >= 0) {
      AlsaPortInfo info;
      info.Client = id;
      info.Port = snd_seq_port_info_get_port(port);
      info.ClientName = snd_seq_client_info_get_name(client);
      info.PortName = snd_seq_port_info_get_name(port);
      info.Capability = snd_seq_port_info_get_capability(port);
      ports.push_back(std::move(info));
    }
  }
  AlsaDestinations(ports, snd_seq_client_id(seq), this, Devices);
}

MMRESULT AlsaBackend::Open(const std::string& Id, std::unique_ptr<MidiSink>& Sink) {
  int client = 0, port = 0;
  if (!ParseAlsaId(Id, client, port)) return MMSYSERR_BADDEVICEID;
  snd_seq_t* seq = Sequencer();
  if (seq == nullptr) return MMSYSERR_NODRIVER;
  unsigned number = 0;
  while (number < FPortsInUse.size() && FPortsInUse[number]) ++number;
  if (number == FPortsInUse.size()) FPortsInUse.push_back(false);
  int own = snd_seq_create_simple_port(
      seq, OutputPortName(number).c_str(), SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (own < 0) return MMSYSERR_ERROR;
  if (snd_seq_connect_to(seq, own, client, port) < 0) {
    snd_seq_delete_simple_port(seq, own);
    return MIDIERR_NODEVICE;
  }
  FPortsInUse[number] = true;
  Sink.reset(new AlsaSink(*this, number, own, client, port));
  return MMSYSERR_NOERROR;
}

}  // namespace winmm
