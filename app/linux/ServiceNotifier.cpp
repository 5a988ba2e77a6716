// Through libsystemd, which reads NOTIFY_SOCKET and WATCHDOG_USEC (and checks
// WATCHDOG_PID) itself: the protocol is not ours to write by hand.
#include "app/ServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>

namespace service {

bool NotifyWanted() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  return socket != nullptr && *socket != '\0';
}

bool Notify(const std::string& Assignments) { return sd_notify(0, Assignments.c_str()) > 0; }

uint32_t WatchdogPeriodMs() {
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return 0;
  const uint64_t ms = usec / 2000;
  if (ms > UINT32_MAX) return UINT32_MAX;
  return ms == 0 ? 1 : static_cast<uint32_t>(ms);
}

}  // namespace service
