// SIGTERM, SIGINT and SIGHUP, and SIGUSR1 for a report: the signal handler
// only writes the signal's number to a pipe that the run loop's queue watches.
#include "ui/TerminateSignal.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <mutex>

#include "platform/win32/win32.h"

namespace ui {
namespace {

int g_pipe[2] = {-1, -1};
bool g_installed = false;
// SIGHUP too: the terminal that started the program was closed.
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGUSR1};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];
// The pipe's watch in the loop's queue, and a request its callback took from
// the pipe that the loop has not acted on yet.
uint64_t g_watch = 0;
bool g_requested = false;
bool g_reportRequested = false;

extern "C" void OnTerminateSignal(int Sig) {
  int saved = errno;
  char b = static_cast<char>(Sig);
  (void)!::write(g_pipe[1], &b, 1);
  errno = saved;
}

// Notes what the pipe holds: an end, a report, or both.
void DrainPipe() {
  if (g_pipe[0] < 0) return;
  char buf[64];
  for (ssize_t n; (n = ::read(g_pipe[0], buf, sizeof buf)) > 0;)
    for (ssize_t i = 0; i < n; ++i) (buf[i] == SIGUSR1 ? g_reportRequested : g_requested) = true;
}

// Runs inside a look at the queue: only notes the request, which the backend
// acts on once it has pumped (HandleTerminateRequest).
void OnPipeReady(int, uint32_t, void*) { DrainPipe(); }

// The pipe's reading end (created on first use).
int TerminateSignalHandle() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
  });
  return g_pipe[0];
}

}  // namespace

void InstallTerminateSignals() {
  if (g_installed || TerminateSignalHandle() < 0) return;
  struct sigaction sa {};
  sa.sa_handler = OnTerminateSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    ::sigaction(kSignals[i], &sa, &g_previous[i]);
  g_installed = true;
  g_watch = win32::WatchDescriptor(g_pipe[0], EPOLLIN, &OnPipeReady, nullptr);
}

void RemoveTerminateSignals() {
  if (!g_installed) return;
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    ::sigaction(kSignals[i], &g_previous[i], nullptr);
  g_installed = false;
  if (g_watch) win32::UnwatchDescriptor(g_watch);
  g_watch = 0;
}

bool TakeTerminateRequest() {
  // While the queue watches the pipe, its callback empties it: no read per wake-up.
  if (g_watch == 0) DrainPipe();
  bool got = g_requested;
  g_requested = false;
  return got;
}

bool TakeReportRequest() {
  if (g_watch == 0) DrainPipe();
  bool got = g_reportRequested;
  g_reportRequested = false;
  return got;
}

}  // namespace ui
