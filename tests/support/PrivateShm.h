// Test processes that start JACK servers give themselves their own /dev/shm: the
// machine-wide JACK registry has 8 slots, and a server that dies uncleanly keeps
// its slot, so servers that share /dev/shm eventually refuse to start.
#pragma once

#include <string>

namespace testjack {

// Moves this process into a mount namespace of its own with a fresh tmpfs on
// /dev/shm (as root; otherwise inside a user namespace where the kernel allows
// one). Call before any thread starts, first thing in main. Children, such as
// the JACK servers started later, share the private /dev/shm.
bool EnterPrivateShm();
// True once EnterPrivateShm succeeded; otherwise why it did not.
bool PrivateShmReady();
const std::string& PrivateShmError();

}  // namespace testjack
