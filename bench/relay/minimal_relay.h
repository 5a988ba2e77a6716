// The minimal relay's parts shared by its loops.
#pragma once

#include <sys/types.h>

#include <cstdint>

// Plays one datagram, if it is a message (minimal_relay.cpp).
void Relay(const uint8_t* B, ssize_t N);

#ifdef MINIMAL_RELAY_URING
// The io_uring loops (minimal_uring.cpp): each also waits for an eventfd
// standing for posted messages.
[[noreturn]] void UringLoop(int Fd);
[[noreturn]] void UringMessageLoop(int Fd);
[[noreturn]] void UringPairLoop(int Fd);
#endif
