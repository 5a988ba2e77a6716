// The least a relay can do for the same job, as the floor the others are
// measured against: one thread blocks in recv, one datagram per call; a datagram
// of exactly three bytes whose first byte is not 0xFE is stamped and handed to
// JACK's thread through a JACK ring buffer; the process callback plays each
// message one period after its stamp, counted from the callback's start, as
// VORLANX does. No window, no settings, no event loop, no error recovery.
//   minimal_relay ADDRESS PORT DESTINATION-PORT
#include <arpa/inet.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s ADDRESS PORT DESTINATION-PORT\n", argv[0]);
    return 2;
  }
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
  if (fd < 0 || inet_pton(AF_INET, argv[1], &local.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
    return std::perror("bind"), 1;

  for (;;) {
    uint8_t b[4];  // one more than a message: a longer datagram reads as four bytes
    const ssize_t n = recv(fd, b, sizeof b, 0);
    if (n != 3 || b[0] == 0xFE) continue;
    Stamped m{static_cast<uint32_t>(jack_get_time()), {b[0], b[1], b[2]}};
    if (jack_ringbuffer_write_space(Ring) >= sizeof m)
      jack_ringbuffer_write(Ring, reinterpret_cast<const char*>(&m), sizeof m);
  }
}
