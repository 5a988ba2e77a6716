// Name lookups that never leave the machine: the process moves into a mount
// namespace of its own where /etc/hosts is the caller's text, /etc/resolv.conf
// names only 127.0.0.1 and /etc/nsswitch.conf consults the hosts file alone.
// Children started afterwards share that view. Under Wine the program cannot
// make the namespace itself: its launcher (windows/run-private.sh) runs it in
// one, and EnterPrivateResolver checks that it did.
#pragma once

#include <string>

namespace testresolver {

// The hosts file the test programs use: localhost, and a few names of their
// own (tests/support/test-hosts).
extern const char* const kTestHosts;

// Call before any thread starts, first thing in main (root, or where the kernel
// allows a user namespace). Returns false and keeps the machine's files when
// no private namespace can be made.
bool EnterPrivateResolver(const std::string& Hosts);
// True once EnterPrivateResolver succeeded; otherwise why it did not.
bool PrivateResolverReady();
const std::string& PrivateResolverError();

}  // namespace testresolver
