// Floods, faults and leaks, run by hand (or `make reliability`), bounded and on
// loopback only. Needs root or user namespaces for the private JACK server.
//   reliability flood [COUNT=1000000] [RATE=20000]   RELAY=path to vorlanx
//   reliability faults
//   reliability soak [SECONDS=600] [RATE=5000]
//   reliability cycles [DATAGRAM=100000] [STREAM=20000]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/reliability/Checks.h"
#include "tests/support/PrivateShm.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: reliability flood|faults|soak|cycles [numbers...]\n");
    return 2;
  }
  testjack::EnterPrivateShm();
  const std::string what = argv[1];
  auto arg = [&](int i, long def) { return argc > i ? std::atol(argv[i]) : def; };
  const char* relay = std::getenv("RELAY");
  const std::string relayPath = relay ? relay : "build/vorlanx";
  bool ok = false;
  if (what == "flood")
    ok = reliability::Flood(arg(2, 1000000), arg(3, 20000), relayPath);
  else if (what == "faults")
    ok = reliability::Faults(relayPath);
  else if (what == "soak")
    ok = reliability::Soak(arg(2, 600), arg(3, 5000), relayPath);
  else if (what == "cycles")
    ok = reliability::Cycles(arg(2, 100000), arg(3, 20000));
  std::printf("%s: %s\n", what.c_str(), ok ? "held" : "FAILED");
  return ok ? 0 : 1;
}
