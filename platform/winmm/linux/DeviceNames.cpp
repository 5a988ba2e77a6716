#include "platform/winmm/linux/DeviceNames.h"

#include <set>

#include "rtl/SysUtils.h"

namespace winmm {

std::vector<std::string> DistinctShortNames(const std::vector<std::string>& Full,
                                            size_t MaxBytes) {
  std::vector<std::string> shown;
  std::set<std::string> natural;  // what each device would show on its own
  for (const std::string& name : Full) {
    shown.push_back(ShortenMiddle(name, MaxBytes));
    natural.insert(shown.back());
  }
  std::set<std::string> taken;
  for (size_t i = 0; i < shown.size(); ++i) {
    // A numbered name must not take what a later device shows on its own.
    for (unsigned n = 2; taken.count(shown[i]) != 0; ++n) {
      const std::string suffix = " (" + std::to_string(n) + ")";
      std::string candidate = ShortenMiddle(Full[i], MaxBytes - suffix.size()) + suffix;
      if (natural.count(candidate) == 0) shown[i] = candidate;
    }
    taken.insert(shown[i]);
  }
  return shown;
}

}  // namespace winmm
