#include "app/ProcessSetup.h"

#include <csignal>

void PrepareProcess() { std::signal(SIGPIPE, SIG_IGN); }
