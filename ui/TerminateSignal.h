// SIGTERM, SIGINT and SIGHUP as a request to close the main form: the signal handler
// only writes a byte to a pipe that the run loop watches, so the closing runs
// on the loop's thread like any other event.
#pragma once

namespace ui {
// The pipe's reading end (created on first use).
int TerminateSignalHandle();
// Routes SIGTERM, SIGINT and SIGHUP into the pipe while an application runs; afterwards
// they act as they did before.
void InstallTerminateSignals();
void RemoveTerminateSignals();
// Empties the pipe; true when a signal arrived since the last call.
bool TakeTerminateRequest();
// Closes the main form when a signal arrived.
void HandleTerminateRequest();
}  // namespace ui
