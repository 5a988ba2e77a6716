// What the process needs of its platform before the window is built.
#pragma once

// On Linux: a log reader that went away (stderr into a pipe) must not end the
// program before it has saved its settings, so SIGPIPE is ignored and the line
// is lost instead. Windows raises no signal for a broken pipe.
void PrepareProcess();
