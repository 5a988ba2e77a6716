#include <csignal>

#include "tools/netcat/Process.h"

namespace vxcat {

// A write to a peer or a reader that went away fails with EPIPE instead.
void PrepareProcess() { std::signal(SIGPIPE, SIG_IGN); }

TInterruptWatch::TInterruptWatch(TMessageWindow&, win32::UINT) {}
TInterruptWatch::~TInterruptWatch() = default;

}  // namespace vxcat
