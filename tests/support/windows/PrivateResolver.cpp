// Under Wine, Winsock looks names up through the Linux resolver inside the Wine
// process. The launcher (run-private.sh) runs the program in a mount namespace
// with the private files; here we check that it says so and that a name only
// the tests' hosts file knows resolves as it says. (Files opened through Wine
// are opened by the wineserver, outside the namespace: reading /etc/hosts from
// here would show the machine's.)
#include "tests/support/PrivateResolver.h"

#include <winsock2.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace testresolver {

namespace {

bool gReady = false;
std::string gError = "EnterPrivateResolver was not called";

bool Fail(const std::string& What) {
  gError = What;
  return false;
}

}  // namespace

bool EnterPrivateResolver(const std::string& Hosts) {
  if (gReady) return true;
  const char* launched = std::getenv("VORLANX_TEST_PRIVATE_RESOLVER");
  if (!launched || std::string(launched) != "1")
    return Fail("not started by tests/support/windows/run-private.sh");
  // The first entry that is not localhost.
  std::istringstream lines(Hosts);
  std::string address, name;
  while (lines >> address >> name && name == "localhost") lines.ignore(1 << 20, '\n');
  if (name.empty() || name == "localhost") return Fail("no name of the tests' own in the hosts text");
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return Fail("WSAStartup");
  hostent* h = gethostbyname(name.c_str());
  in_addr first{};
  if (h && h->h_addr_list[0]) std::memcpy(&first, h->h_addr_list[0], sizeof first);
  const bool same = h && first.s_addr == inet_addr(address.c_str());
  WSACleanup();
  if (!same) return Fail(name + " does not resolve to " + address + " here");
  gReady = true;
  gError.clear();
  return true;
}

bool PrivateResolverReady() { return gReady; }
const std::string& PrivateResolverError() { return gError; }

}  // namespace testresolver
