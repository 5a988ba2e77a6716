// The options of vxcat, one row each: what the parser accepts and what --help
// lists come from the same table.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/netcat/Options.h"

namespace vxcat {

struct TOptionSpec {
  char Short;  // 0: long form only
  const char* Long;
  const char* ValueName;  // nullptr: a switch without value
  const char* Help;
  std::function<void(TOptions&, const std::string&)> Apply;  // raises EUsage
};

const std::vector<TOptionSpec>& OptionTable();

}  // namespace vxcat
