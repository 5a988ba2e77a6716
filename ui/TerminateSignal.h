// A request from outside to end the program (on Linux SIGTERM, SIGINT or SIGHUP;
// on Windows Ctrl+C, Ctrl+Break or closing the console) closes the main form.
// The request only notes itself and wakes the run loop, so the closing runs on
// the loop's thread like any other event.
#pragma once

#include <functional>

namespace ui {
// Routes the requests into the calling thread's loop while an application
// runs; afterwards they act as they did before.
void InstallTerminateSignals();
void RemoveTerminateSignals();
// True when a request arrived since the last call.
bool TakeTerminateRequest();
// Closes the main form when a request arrived, and runs the report handler
// when a report was asked for. Backends call it after pumping.
void HandleTerminateRequest();

// A request from outside for a report of what the program did (SIGUSR1 on
// Linux; Windows has no such request) runs Handler on the loop's thread, as
// the closing does; without a handler it is ignored.
void SetReportRequestHandler(std::function<void()> Handler);
// True when a report was asked for since the last call.
bool TakeReportRequest();
}  // namespace ui
