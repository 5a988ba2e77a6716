// SIGTERM, SIGINT and SIGHUP as a request to close the main form: the signal handler
// only writes a byte to a pipe that the run loop's queue watches, so the closing runs
// on the loop's thread like any other event.
#pragma once

namespace ui {
// The pipe's reading end (created on first use).
int TerminateSignalHandle();
// Routes SIGTERM, SIGINT and SIGHUP into the pipe while an application runs, the
// pipe watched by the calling thread's queue; afterwards they act as they did before.
void InstallTerminateSignals();
void RemoveTerminateSignals();
// Empties the pipe; true when a signal arrived since the last call (also when
// the queue's watch has already emptied it).
bool TakeTerminateRequest();
// Closes the main form when a signal arrived. Backends call it after pumping.
void HandleTerminateRequest();
}  // namespace ui
