#include "app/ProcessSetup.h"

// Nothing to do: a write to a pipe whose reader went away fails with an error
// code (the line is lost) rather than raising a signal.
void PrepareProcess() {}
