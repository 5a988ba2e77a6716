// No service manager asks a Windows program to report this way.
#include "app/ServiceNotifier.h"

namespace service {

bool NotifyWanted() { return false; }
bool Notify(const std::string&) { return false; }
uint32_t WatchdogPeriodMs() { return 0; }

}  // namespace service
