#include "platform/winmm/linux/JackBackend.h"

#include <jack/midiport.h>

#include <new>

#include "platform/winmm/linux/JackSession.h"

namespace winmm {
namespace {

class JackSink : public MidiSink {
 public:
  JackSink(std::shared_ptr<JackSession> Session, std::unique_ptr<JackOutputQueue> Queue)
      : FSession(std::move(Session)), FQueue(std::move(Queue)) {}

  ~JackSink() override {
    if (!FSession->Gone()) {
      // What was sent before the close still plays (within one period).
      FSession->Drain(*FQueue, 500);
      jack_port_disconnect(FSession->Client(), FQueue->Port);
    }
    FSession->Detach(FQueue.get());
    if (!FSession->Gone()) jack_port_unregister(FSession->Client(), FQueue->Port);
  }

  MMRESULT Send(const WireMessage& Message) override {
    const auto now = static_cast<uint32_t>(jack_get_time());
    if (FSession->Gone() || FSession->Stalled(now)) return MMSYSERR_NODRIVER;
    StampedMessage m;
    m.StampUs = now;
    m.Size = Message.size;
    m.Bytes[0] = Message.bytes[0];
    m.Bytes[1] = Message.bytes[1];
    m.Bytes[2] = Message.bytes[2];
    // A full ring means the server has stopped taking messages; say so rather than wait.
    return FQueue->Ring.Push(m) ? MMSYSERR_NOERROR : MIDIERR_NOTREADY;
  }

 private:
  std::shared_ptr<JackSession> FSession;
  std::unique_ptr<JackOutputQueue> FQueue;
};

}  // namespace

std::shared_ptr<JackSession> JackBackend::Session() {
  if (FSession && FSession->Gone()) FSession.reset();  // open devices keep theirs alive
  if (!FSession) FSession = JackSession::Connect();
  return FSession;
}

void JackBackend::CloseAtExit() {
  if (FSession) FSession->CloseAtExit();
}

void JackBackend::Enumerate(std::vector<DeviceEntry>& Devices) {
  std::shared_ptr<JackSession> session = Session();
  if (!session) return;
  jack_client_t* client = session->Client();
  const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  if (ports == nullptr) return;
  for (const char** p = ports; *p != nullptr; ++p) {
    jack_port_t* port = jack_port_by_name(client, *p);
    if (port == nullptr || jack_port_is_mine(client, port)) continue;
    DeviceEntry entry;
    entry.Backend = this;
    entry.Name = *p;
    entry.Id = *p;
    Devices.push_back(std::move(entry));
  }
  jack_free(ports);
}

MMRESULT JackBackend::Open(const std::string& Id, std::unique_ptr<MidiSink>& Sink) {
  std::shared_ptr<JackSession> session = Session();
  if (!session) return MMSYSERR_NODRIVER;
  jack_client_t* client = session->Client();
  std::unique_ptr<JackOutputQueue> queue;
  try {
    queue.reset(new JackOutputQueue);
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  }
  const std::string prefix = std::string(jack_get_client_name(client)) + ":";
  unsigned number = 0;
  while (jack_port_by_name(client, (prefix + OutputPortName(number)).c_str()) != nullptr) ++number;
  queue->Port = jack_port_register(client, OutputPortName(number).c_str(), JACK_DEFAULT_MIDI_TYPE,
                                   JackPortIsOutput, 0);
  if (queue->Port == nullptr) return session->Gone() ? MMSYSERR_NODRIVER : MMSYSERR_ERROR;
  if (jack_connect(client, jack_port_name(queue->Port), Id.c_str()) != 0) {
    jack_port_unregister(client, queue->Port);
    return session->Gone() ? MMSYSERR_NODRIVER : MIDIERR_NODEVICE;
  }
  queue->AttachedUs = static_cast<uint32_t>(jack_get_time());
  if (!session->Attach(queue.get())) {
    jack_port_unregister(client, queue->Port);
    return MMSYSERR_ALLOCATED;
  }
  Sink.reset(new JackSink(session, std::move(queue)));
  return MMSYSERR_NOERROR;
}

}  // namespace winmm
