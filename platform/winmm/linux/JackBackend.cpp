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
// away (its client closed or crashed) while the server stays, the sink says so
// and refuses messages; a port of the same name that comes back is connected
// again by Check.
class JackSink : public MidiSink {
 public:
  JackSink(std::shared_ptr<JackSession> Session, std::unique_ptr<JackOutputQueue> Queue,
           std::string Destination)
      : FSession(std::move(Session)),
        FQueue(std::move(Queue)),
        FDestination(std::move(Destination)),
        FSeenRemovals(FSession->PortRemovals()),
        FCheckedRemovals(FSeenRemovals.load()),
        FConnectedUs(FQueue->AttachedUs) {}

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
    // A port went away since the last look: perhaps ours (a message sent now
    // would reach nobody). A lookup by name reads the client's copy of the graph.
    const uint32_t removals = FSession->PortRemovals();
    if (removals != FSeenRemovals.load(std::memory_order_relaxed)) {
      FSeenRemovals.store(removals, std::memory_order_relaxed);
      if (jack_port_by_name(FSession->Client(), FDestination.c_str()) == nullptr) Lost();
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
    if (FSession->Gone()) return MMSYSERR_NODRIVER;
    jack_client_t* client = FSession->Client();
    const uint32_t removals = FSession->PortRemovals();
    if (jack_port_by_name(client, FDestination.c_str()) == nullptr) {
      Lost();
      FCheckedRemovals = removals;
      return MIDIERR_NODEVICE;
    }
    const auto now = static_cast<uint32_t>(jack_get_time());
    if (!FGone.load(std::memory_order_acquire)) {
      // There, but perhaps gone and back since the last look. Our connection
      // shows in the client's graph a cycle after jack_connect returned, so
      // only one well older than that counts as broken.
      constexpr int32_t kSettledUs = 1000000;
      const bool fine = removals == FCheckedRemovals ||
                        static_cast<int32_t>(now - FConnectedUs) < kSettledUs ||
                        jack_port_connected_to(FQueue->Port, FDestination.c_str());
      FCheckedRemovals = removals;
      if (fine) return MMSYSERR_NOERROR;
      Lost();
    }
    FCheckedRemovals = removals;
    const int r = jack_connect(client, jack_port_name(FQueue->Port), FDestination.c_str());
    if (r != 0 && r != EEXIST && r != -EEXIST) return FSession->Gone() ? MMSYSERR_NODRIVER : MIDIERR_NODEVICE;
    FConnectedUs = now;
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
  std::atomic<bool> FGone{false};
  std::atomic<uint32_t> FLosses{0};
  // PortRemovals when the sending side last looked.
  std::atomic<uint32_t> FSeenRemovals;
  // Check's side: PortRemovals at its last look, and when it connected.
  uint32_t FCheckedRemovals;
  uint32_t FConnectedUs;
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
  Sink.reset(new JackSink(session, std::move(queue), Id));
  return MMSYSERR_NOERROR;
}

}  // namespace winmm
