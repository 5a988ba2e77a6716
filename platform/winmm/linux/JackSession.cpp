#include "platform/winmm/linux/JackSession.h"

#include <jack/midiport.h>

#include <cerrno>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/winmm/linux/Backend.h"

namespace winmm {
namespace {

// The layer reports failures through result codes; the library's own chatter
// (for example when no server runs) would only repeat them on stderr.
void Quiet(const char*) {}

timespec DeadlineIn(int Ms) {
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  t.tv_sec += Ms / 1000;
  t.tv_nsec += static_cast<long>(Ms % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_sec += 1;
    t.tv_nsec -= 1000000000L;
  }
  return t;
}

}  // namespace

// Every message plays one period after the call that handed it over, at the
// frame of this cycle that lies that long after its stamp, counted from the
// moment this callback began: the cycle's buffer starts for its readers when
// their callbacks run, right after ours. The server's smoothed frame clock is
// not used for this: when cycles come late and then in quick succession to
// catch up, positions taken from it put messages up to a period too early or
// too late; counted from the callback, a message is never early, and late only
// by as much as the cycle itself is.
void JackOutputQueue::Play(uint32_t NowUs, jack_nframes_t Frames, jack_nframes_t Rate) {
  void* buffer = jack_port_get_buffer(Port, Frames);
  jack_midi_clear_buffer(buffer);
  if (Rate == 0) return;
  if (Again.load(std::memory_order_acquire)) {
    Again.store(false, std::memory_order_relaxed);
    AttachedUs = AgainUs.load(std::memory_order_relaxed);
    Live = false;
    // Queued for the destination that went, after it went but before anyone
    // knew, and not yet played because some servers run no cycles for a
    // client linked to nothing: not for the new one, since a late note is
    // worse than none.
    while (const StampedMessage* m = Ring.Front()) {
      if (static_cast<int32_t>(m->StampUs - AttachedUs) >= 0) break;
      Ring.Pop();
    }
  }
  // jack_connect returns before the server runs a graph with the new
  // connection, which on a loaded machine can be a cycle or more later; what a
  // cycle plays before then reaches nobody. So nothing plays until a cycle
  // sees the port connected (the reader's cycle runs the same graph), or, when
  // the destination went away meanwhile, until waiting longer makes no sense.
  if (!Live) {
    constexpr int32_t kMaxWaitUs = 2000000;
    Live = jack_port_connected(Port) > 0 || static_cast<int32_t>(NowUs - AttachedUs) > kMaxWaitUs;
    if (!Live) return;
  }
  const int64_t frames = Frames;
  const int64_t periodUs = frames * 1000000 / Rate;
  int64_t previous = 0;
  while (const StampedMessage* m = Ring.Front()) {
    const int64_t dueInUs = static_cast<int32_t>(m->StampUs - NowUs) + periodUs;
    int64_t offset = dueInUs > 0 ? dueInUs * Rate / 1000000 : 0;
    if (offset >= frames && dueInUs <= 8 * periodUs) break;  // due in a later cycle
    if (offset >= frames || offset < previous)
      offset = previous;                                    // implausible stamp: now; order kept
    if (jack_midi_max_event_size(buffer) < m->Size) break;  // full: the rest waits a cycle
    if (jack_midi_event_write(buffer, static_cast<jack_nframes_t>(offset), m->Bytes, m->Size) != 0)
      break;
    previous = offset;
    Ring.Pop();
  }
}

std::shared_ptr<JackSession> JackSession::Connect() {
  static bool quiet = (jack_set_error_function(Quiet), jack_set_info_function(Quiet), true);
  (void)quiet;
  jack_status_t status;
  jack_client_t* client = jack_client_open("vorlanx", JackNoStartServer, &status);
  if (client == nullptr) return nullptr;
  // A client whose server went away is never closed (see the destructor), so
  // its thread may still call Process: such a session is left in place.
  std::shared_ptr<JackSession> session(new JackSession, [](JackSession* s) {
    if (!s->Gone()) return delete s;
    static std::mutex lock;
    static auto* abandoned = new std::vector<JackSession*>;
    std::lock_guard<std::mutex> hold(lock);
    abandoned->push_back(s);
  });
  session->FClient = client;
  sem_init(&session->FCycleDone, 0, 0);
  jack_set_process_callback(client, Process, session.get());
  jack_on_info_shutdown(client, Shutdown, session.get());
  jack_on_shutdown(client, PlainShutdown, session.get());
  jack_set_port_registration_callback(client, PortRegistration, session.get());
  session->FLastCycleUs.store(static_cast<uint32_t>(jack_get_time()));
  if (jack_activate(client) != 0) return nullptr;  // the destructor closes the client
  return session;
}

JackSession::~JackSession() {
  if (FClient == nullptr) return;
  // Closing a client whose server has gone tears down the library's shared
  // state under any newer client (which then crashes on its own close); the
  // dead client is left as it is instead.
  if (!Gone()) jack_client_close(FClient);
  sem_destroy(&FCycleDone);
}

void JackSession::CloseAtExit() {
  if (FClient == nullptr || FGone.exchange(true)) return;
  jack_client_close(FClient);
}

int JackSession::Process(jack_nframes_t Frames, void* Arg) {
  auto* self = static_cast<JackSession*>(Arg);
  // A client whose server went away can be woken again by a new server of the
  // same name; it must never play there, or every message would arrive twice.
  if (self->Gone()) return 0;
  self->FCycle.fetch_add(1);
  const auto now = static_cast<uint32_t>(jack_get_time());
  self->FLastCycleUs.store(now, std::memory_order_relaxed);
  const jack_nframes_t rate = jack_get_sample_rate(self->FClient);
  for (auto& slot : self->FQueues) {
    JackOutputQueue* queue = slot.load();
    if (queue != nullptr) queue->Play(now, Frames, rate);
  }
  self->FCycle.fetch_add(1);
  if (self->FWaiting.load()) sem_post(&self->FCycleDone);
  return 0;
}

bool JackSession::Stalled(uint32_t NowUs) {
  // Longer than any period a server runs with, than a loaded machine delays a
  // cycle, and than a synchronous jackd stops all cycles (5 s) while it
  // removes a client that was killed.
  constexpr int32_t kStallUs = 8000000;
  // Signed: a cycle that began after the caller read the clock is no stall.
  const auto sinceUs = static_cast<int32_t>(NowUs - FLastCycleUs.load(std::memory_order_relaxed));
  if (sinceUs <= kStallUs) return false;
  FGone.store(true, std::memory_order_release);
  return true;
}

void JackSession::PlainShutdown(void* Arg) { Shutdown(JackFailure, "", Arg); }

// On the library's notification thread, where no call into the server is
// allowed (the handle of a port comes from the client's own copy of the
// graph): the senders and the program look at what was said.
void JackSession::PortRegistration(jack_port_id_t Port, int Registered, void* Arg) {
  auto* self = static_cast<JackSession*>(Arg);
  if (self->Gone()) return;
  self->FPorts.Add(Registered ? nullptr : jack_port_by_id(self->FClient, Port), Registered != 0);
  NoteDevicesChanged();
}

void JackSession::Shutdown(jack_status_t, const char*, void* Arg) {
  auto* self = static_cast<JackSession*>(Arg);
  self->FGone.store(true, std::memory_order_release);
  sem_post(&self->FCycleDone);
}

bool JackSession::Attach(JackOutputQueue* Queue) {
  for (auto& slot : FQueues) {
    JackOutputQueue* expected = nullptr;
    if (slot.compare_exchange_strong(expected, Queue)) return true;
  }
  return false;
}

bool JackSession::WaitCycle(const timespec& Deadline) {
  FWaiting.store(true);
  uint64_t seen = FCycle.load();
  bool ended = false;
  while (!Gone()) {
    if (FCycle.load() >= (seen | 1) + 1) {
      ended = true;
      break;
    }
    if (sem_timedwait(&FCycleDone, &Deadline) != 0 && errno == ETIMEDOUT) break;
  }
  FWaiting.store(false);
  return ended;
}

void JackSession::Detach(JackOutputQueue* Queue) {
  for (auto& slot : FQueues) {
    JackOutputQueue* expected = Queue;
    slot.compare_exchange_strong(expected, nullptr);
  }
  // A cycle that began before the slot was cleared may still be playing the
  // queue; one that begins later cannot see it.
  if ((FCycle.load() & 1) == 0) return;
  timespec deadline = DeadlineIn(2000);
  WaitCycle(deadline);
}

void JackSession::Drain(const JackOutputQueue& Queue, int TimeoutMs) {
  timespec deadline = DeadlineIn(TimeoutMs);
  while (!Queue.Ring.Empty() && !Gone())
    if (!WaitCycle(deadline)) return;
  // Once detached, nobody clears the port buffer, and a reader still connected
  // would play whatever the last cycle left in it again in every cycle.
  WaitCycle(deadline);
}

}  // namespace winmm
