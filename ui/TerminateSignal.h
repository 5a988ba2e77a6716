// A request from outside to end the program (on Linux SIGTERM, SIGINT or SIGHUP;
// on Windows Ctrl+C, Ctrl+Break or closing the console) closes the main form.
// The request only notes itself and wakes the run loop, so the closing runs on
// the loop's thread like any other event.
#pragma once

namespace ui {
// Routes the requests into the calling thread's loop while an application
// runs; afterwards they act as they did before.
void InstallTerminateSignals();
void RemoveTerminateSignals();
// True when a request arrived since the last call.
bool TakeTerminateRequest();
// Closes the main form when a request arrived. Backends call it after pumping.
void HandleTerminateRequest();
}  // namespace ui
