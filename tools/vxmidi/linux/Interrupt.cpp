// For the guard's lifetime SIGINT and SIGTERM only record themselves and wake
// the wait (whichever thread takes them: the MIDI services run threads of their
// own); the previous dispositions come back afterwards.
#include "tools/vxmidi/Interrupt.h"

#include <semaphore.h>
#include <signal.h>
#include <time.h>

#include <cerrno>

namespace vxmidi {
namespace {

volatile sig_atomic_t gInterrupted = 0;
sem_t gWake;
struct sigaction gBefore[2];
const int kSignals[2] = {SIGINT, SIGTERM};

void OnSignal(int) {
  gInterrupted = 1;
  sem_post(&gWake);  // async-signal-safe
}

}  // namespace

TInterruptGuard::TInterruptGuard() {
  gInterrupted = 0;
  sem_init(&gWake, 0, 0);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &action, &gBefore[i]);
}

TInterruptGuard::~TInterruptGuard() {
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &gBefore[i], nullptr);
  sem_destroy(&gWake);
}

void TInterruptGuard::Wait(unsigned Ms) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += Ms / 1000;
  deadline.tv_nsec += static_cast<long>(Ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (!gInterrupted && sem_clockwait(&gWake, CLOCK_MONOTONIC, &deadline) != 0 &&
         errno == EINTR) {
  }
  FInterrupted = gInterrupted != 0;
}

}  // namespace vxmidi
