// A network namespace of the test's own, with multicast on its loopback: lo is
// up with multicast on and 224.0.0.0/4 is routed through it, so programs in it
// can join groups and send to them while nothing leaves the machine. A holder
// process keeps it alive; programs are started in it through nsenter.
#pragma once

#include <string>
#include <vector>

#include "tests/ui/GuiTestSupport.h"

namespace relaytest {

class TNetNamespace {
 public:
  // Needs root (unshare -n). Error says why it failed.
  bool Create(std::string* Error);
  // The words in front of a program's argument list that run it inside.
  std::vector<std::string> Enter() const;

 private:
  guitest::TChild FHolder;
};

}  // namespace relaytest
