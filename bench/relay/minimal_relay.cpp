// The least a relay can do for the same job, as the floor the others are
// measured against: one thread blocks in recv, one datagram per call; a datagram
// of exactly three bytes whose first byte is not 0xFE is stamped and handed to
// JACK's thread through a JACK ring buffer; the process callback plays each
// message one period after its stamp, counted from the callback's start, as
// VORLANX does. No window, no settings, no event loop, no error recovery. Its
// receive buffer is as large as VORLANX's, so that both can keep every message.
//   minimal_relay [--loop epoll|uring|uring-msg|uring-pair] ADDRESS PORT DESTINATION-PORT
// --loop puts the same relay inside the smallest event loop of one thread,
// whose one wait also covers an eventfd (standing for posted messages), to
// tell the loop's own cost from the layers': epoll_wait, then one non-blocking
// recv per datagram until the queue is empty; or io_uring, whose one wait
// (io_uring_enter) also delivers the datagrams (minimal_uring.cpp): received
// by a multishot receive into a ring of provided buffers (uring); the same
// with the sender's address and buffers that take any datagram (uring-msg);
// or by a receive armed afresh for each wait, with a non-blocking one linked
// behind it, cancelled when the wait ends for something else (uring-pair):
// the last two tell a multishot receive's cost from a receive per wait.
#include <arpa/inet.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "minimal_relay.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Stamped {
  uint32_t StampUs;
  uint8_t Bytes[3];
};

jack_client_t* Client;
jack_port_t* Port;
jack_ringbuffer_t* Ring;

int Process(jack_nframes_t Frames, void*) {
  void* buffer = jack_port_get_buffer(Port, Frames);
  jack_midi_clear_buffer(buffer);
  const auto now = static_cast<uint32_t>(jack_get_time());
  const int64_t rate = jack_get_sample_rate(Client);
  const int64_t periodUs = static_cast<int64_t>(Frames) * 1000000 / rate;
  int64_t previous = 0;
  Stamped m;
  while (jack_ringbuffer_peek(Ring, reinterpret_cast<char*>(&m), sizeof m) == sizeof m) {
    const int64_t dueInUs = static_cast<int32_t>(m.StampUs - now) + periodUs;
    int64_t offset = dueInUs > 0 ? dueInUs * rate / 1000000 : 0;
    if (offset >= Frames) break;  // due in a later cycle
    if (offset < previous) offset = previous;
    if (jack_midi_event_write(buffer, static_cast<jack_nframes_t>(offset), m.Bytes, 3) != 0) break;
    previous = offset;
    jack_ringbuffer_read_advance(Ring, sizeof m);
  }
  return 0;
}

}  // namespace

void Relay(const uint8_t* B, ssize_t N) {
  if (N != 3 || B[0] == 0xFE) return;
  Stamped m{static_cast<uint32_t>(jack_get_time()), {B[0], B[1], B[2]}};
  if (jack_ringbuffer_write_space(Ring) >= sizeof m)
    jack_ringbuffer_write(Ring, reinterpret_cast<const char*>(&m), sizeof m);
}

namespace {

[[noreturn]] void BlockingLoop(int Fd) {
  for (;;) {
    uint8_t b[4];  // one more than a message: a longer datagram reads as four bytes
    Relay(b, recv(Fd, b, sizeof b, 0));
  }
}

[[noreturn]] void EpollLoop(int Fd) {
  const int ep = epoll_create1(0), posted = eventfd(0, EFD_NONBLOCK);
  epoll_event e{EPOLLIN, {}};
  e.data.fd = posted;
  epoll_ctl(ep, EPOLL_CTL_ADD, posted, &e);
  e.data.fd = Fd;
  epoll_ctl(ep, EPOLL_CTL_ADD, Fd, &e);
  for (;;) {
    epoll_event ready[8];
    const int n = epoll_wait(ep, ready, 8, -1);
    for (int i = 0; i < n; ++i) {
      if (ready[i].data.fd != Fd) continue;
      uint8_t b[4];
      ssize_t got;
      while ((got = recv(Fd, b, sizeof b, MSG_DONTWAIT)) >= 0) Relay(b, got);
    }
  }
}


}  // namespace

int main(int argc, char** argv) {
  std::string loop;
  if (argc == 6 && std::strcmp(argv[1], "--loop") == 0) {
    loop = argv[2];
    argv += 2;
    argc -= 2;
  }
  const bool uring = loop == "uring" || loop == "uring-msg" || loop == "uring-pair";
  if (argc != 4 || !(loop.empty() || loop == "epoll" || uring)) {
    std::fprintf(stderr,
                 "usage: %s [--loop epoll|uring|uring-msg|uring-pair] ADDRESS PORT "
                 "DESTINATION-PORT\n",
                 argv[0]);
    return 2;
  }
#ifndef MINIMAL_RELAY_URING
  if (uring) return std::fprintf(stderr, "built without liburing\n"), 1;
#endif
  Ring = jack_ringbuffer_create(sizeof(Stamped) * 65536);
  jack_ringbuffer_mlock(Ring);
  Client = jack_client_open("minrelay", JackNoStartServer, nullptr);
  if (Client == nullptr) return std::fprintf(stderr, "no JACK server\n"), 1;
  Port = jack_port_register(Client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  if (Port == nullptr || jack_set_process_callback(Client, Process, nullptr) != 0 ||
      jack_activate(Client) != 0 || jack_connect(Client, jack_port_name(Port), argv[3]) != 0)
    return std::fprintf(stderr, "cannot play on %s\n", argv[3]), 1;

  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
  const int rcvbuf = 8 << 20;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &rcvbuf, sizeof rcvbuf) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  if (fd < 0 || inet_pton(AF_INET, argv[1], &local.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
    return std::perror("bind"), 1;

  if (loop == "epoll") EpollLoop(fd);
#ifdef MINIMAL_RELAY_URING
  if (loop == "uring") UringLoop(fd);
  if (loop == "uring-msg") UringMessageLoop(fd);
  if (loop == "uring-pair") UringPairLoop(fd);
#endif
  BlockingLoop(fd);
}
