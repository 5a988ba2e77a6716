// Plain BSD UDP sockets on loopback for the benchmark (kept apart from the
// socket unit's header, which does not mix with the system socket headers).
#pragma once

#include <cstddef>
#include <cstdint>

namespace plainudp {

// A UDP socket bound to 127.0.0.1:port (0: the system picks; port is updated).
int OpenBound(uint16_t& port);
int OpenUnbound();
// Sends one datagram to 127.0.0.1:port; returns false on failure.
bool SendTo(int fd, uint16_t port, const void* data, size_t len);
// One blocking receive; returns the byte count or -1.
long Receive(int fd, void* buffer, size_t size);
void Close(int fd);

}  // namespace plainudp
