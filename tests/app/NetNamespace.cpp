#include "tests/app/NetNamespace.h"

namespace relaytest {

bool TNetNamespace::Create(std::string* Error) {
  // The holder ends by itself after ten minutes should the test not stop it.
  const std::string setup =
      "ip link set lo up multicast on && ip route add 224.0.0.0/4 dev lo && echo ready && "
      "exec sleep 600";
  if (!FHolder.Start({"/usr/bin/unshare", "-n", "/bin/sh", "-c", setup})) {
    *Error = "cannot start unshare";
    return false;
  }
  std::string line;
  if (!FHolder.ReadLine(line, 10000) || line != "ready") {
    *Error = "no network namespace (unshare -n needs root): " + FHolder.Stderr();
    return false;
  }
  return true;
}

std::vector<std::string> TNetNamespace::Enter() const {
  return {"/usr/bin/nsenter", "--net=/proc/" + std::to_string(FHolder.Pid()) + "/ns/net", "--"};
}

}  // namespace relaytest
