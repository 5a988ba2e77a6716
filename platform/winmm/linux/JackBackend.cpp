#include "platform/winmm/linux/JackBackend.h"

#include <jack/midiport.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <string>

#include "platform/winmm/linux/JackSession.h"

namespace winmm {
namespace {

// Plays on one destination port, named by its full name. When that port goes
// away (its client closed or crashed) while the server stays, the sink refuses
// messages; once a port has come since, Check connects a port of the same
// name, if it is one.
class JackSink : public MidiSink {
 public:
  JackSink(std::shared_ptr<JackSession> Session, std::unique_ptr<JackOutputQueue> Queue,
           std::string Destination, jack_port_t* DestinationPort)
      : FSession(std::move(Session)),
        FQueue(std::move(Queue)),
        FDestination(std::move(Destination)),
        FDestinationPort(DestinationPort),
        FSeenEvents(FSession->Ports().Count()),
        FCheckedEvents(FSeenEvents.load()) {}

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
    // A port went since the last message: perhaps ours, and a message sent
    // now would reach nobody.
    const uint32_t events = FSession->Ports().Count();
    const uint32_t seen = FSeenEvents.load(std::memory_order_relaxed);
    if (events != seen) {
      FSeenEvents.store(events, std::memory_order_relaxed);
      bool gone, arrival;
      if (FSession->Ports().Look(seen, events, FDestinationPort.load(), gone, arrival) && gone)
        Lost();
    }
    // Dropped, not kept for later: a late note is worse than none.
    if (FGone.load(std::memory_order_acquire)) return MIDIERR_NODEVICE;
    StampedMessage m;
    m.StampUs = now;
    m.Size = Message.size;
    m.Bytes[0] = Message.bytes[0];
    m.Bytes[1] = Message.bytes[1];
    m.Bytes[2] = Message.bytes[2];
    // A full ring means the server has stopped taking messages; say so rather than wait.
    return FQueue->Ring.Push(m) ? MMSYSERR_NOERROR : MIDIERR_NOTREADY;
  }

  MMRESULT Check() override {
    const auto now = static_cast<uint32_t>(jack_get_time());
    if (FSession->Gone() || FSession->Stalled(now)) return MMSYSERR_NODRIVER;
    jack_client_t* client = FSession->Client();
    const uint32_t events = FSession->Ports().Count();
    bool gone, arrival;
    if (!FSession->Ports().Look(FCheckedEvents, events, FDestinationPort.load(), gone, arrival)) {
      // More was said than is remembered: the graph itself, then.
      gone = jack_port_by_name(client, FDestination.c_str()) != FDestinationPort.load() ||
             !jack_port_connected_to(FQueue->Port, FDestination.c_str());
      arrival = true;
    }
    FCheckedEvents = events;
    if (gone) Lost();
    if (!FGone.load(std::memory_order_acquire)) return MMSYSERR_NOERROR;
    // Nothing came since it went: nothing to look for.
    if (!arrival) return MIDIERR_NODEVICE;
    jack_port_t* port = jack_port_by_name(client, FDestination.c_str());
    if (port == nullptr) return MIDIERR_NODEVICE;
    const int r = jack_connect(client, jack_port_name(FQueue->Port), FDestination.c_str());
    if (r != 0 && r != EEXIST && r != -EEXIST)
      return FSession->Gone() ? MMSYSERR_NODRIVER : MIDIERR_NODEVICE;
    FDestinationPort.store(port);
    // What was said before is about the port that went, which may have had
    // the handle the new one has (jackd numbers ports anew from the lowest free).
    FSeenEvents.store(events, std::memory_order_relaxed);
    // Nothing plays until the new connection is in the graph: the first
    // message after the return must not reach nobody.
    FQueue->WaitForConnectionAgain(now);
    FGone.store(false, std::memory_order_release);
    return MMSYSERR_NOERROR;
  }

  uint32_t Losses() const override { return FLosses.load(std::memory_order_relaxed); }

 private:
  void Lost() {
    if (!FGone.exchange(true, std::memory_order_acq_rel)) FLosses.fetch_add(1);
  }

  std::shared_ptr<JackSession> FSession;
  std::unique_ptr<JackOutputQueue> FQueue;
  const std::string FDestination;
  std::atomic<jack_port_t*> FDestinationPort;
  std::atomic<bool> FGone{false};
  std::atomic<uint32_t> FLosses{0};
  // The port events the sending side has looked at, and Check.
  std::atomic<uint32_t> FSeenEvents;
  uint32_t FCheckedEvents;
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
  jack_port_t* destination = jack_port_by_name(client, Id.c_str());
  Sink.reset(new JackSink(session, std::move(queue), Id, destination));
  return MMSYSERR_NOERROR;
}

}  // namespace winmm
