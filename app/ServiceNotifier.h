// The service manager's side channel (systemd's NOTIFY_SOCKET on Linux): what
// the relay tells it about its state. Windows has none: it is never asked.
#pragma once

#include <cstdint>
#include <string>

namespace service {

// True when the process was started by a manager that wants to be told.
bool NotifyWanted();
// Sends assignments such as "READY=1\nSTATUS=..." (newline-separated); false
// when they could not be sent.
bool Notify(const std::string& Assignments);
// The keep-alive period the manager asked for: half its watchdog interval in
// milliseconds, 0 when it asked for none.
uint32_t WatchdogPeriodMs();

}  // namespace service
