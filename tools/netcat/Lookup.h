// vxcat --resolve and --reverse.
#pragma once

#include "tools/netcat/Options.h"

namespace vxcat {

// Looks Options.LookupText up and prints the answers, one a line. Returns the
// exit status: 1, with the component's text on standard error, on failure.
int RunLookup(const TOptions& Options);

}  // namespace vxcat
