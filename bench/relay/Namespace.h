// The benchmark runs in a network namespace of its own, where loopback is the
// only interface and carries the multicast group one relay listens on, and in
// a mount namespace with its own /dev/shm for the private JACK servers.
#pragma once

#include <string>

namespace relaybench {

// Call first thing in main, before any thread starts (root needed).
bool EnterBenchNamespaces(std::string* Error);

}  // namespace relaybench
