#include "tests/support/JackServer.h"

#include <jack/jack.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace testjack {
namespace {

std::atomic<unsigned> gSerial{0};

void SleepMs(int Ms) { usleep(static_cast<useconds_t>(Ms) * 1000); }

// Probing a server that is still starting makes the library complain on stderr.
void Quiet(const char*) {}

}  // namespace

bool TJackServer::Start(unsigned Period, unsigned Rate, std::string* Error) {
  Stop();
  FPeriod = Period;
  FRate = Rate;
  FName = "vorlanx-test-" + std::to_string(getpid()) + "-" + std::to_string(++gSerial);
  return Launch(Error);
}

bool TJackServer::Restart(std::string* Error) {
  Stop();
  return Launch(Error);
}

bool TJackServer::Launch(std::string* Error) {
  const unsigned Period = FPeriod, Rate = FRate;
  FLogPath = "/tmp/" + FName + ".log";
  std::vector<std::string> args = {"jackd", "--no-realtime", "-n", FName};
  if (Synchronous) args.push_back("-S");
  for (const char* a : {"-d", "dummy", "-r"}) args.push_back(a);
  args.push_back(std::to_string(Rate));
  args.push_back("-p");
  args.push_back(std::to_string(Period));
  support::TLaunch launch;
  launch.Argv = args;
  launch.Stdin = support::TLaunch::kInherit;
  launch.Stdout = FLogPath;
  launch.Stderr = support::TLaunch::kToStdout;
  // A test that is killed (say, on a timeout) must not leave its server behind.
  launch.DiesWithParent = true;
  if (!FProcess.Start(launch, Error)) return false;
  setenv("JACK_DEFAULT_SERVER", FName.c_str(), 1);
  if (WaitReady(Error)) return true;
  Stop();
  return false;
}

bool TJackServer::WaitReady(std::string* Error) {
  jack_set_error_function(Quiet);
  for (int i = 0; i < 500; ++i) {  // 10 s in steps of 20 ms
    if (!FProcess.Running()) {
      if (Error)
        *Error =
            "jackd exited early (status " + std::to_string(FProcess.WaitStatus(0)) + "): " + Log();
      return false;
    }
    jack_status_t st;
    jack_client_t* probe =
        jack_client_open("probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                         &st, FName.c_str());
    if (probe != nullptr) {
      jack_client_close(probe);
      return true;
    }
    SleepMs(20);
  }
  if (Error) *Error = "jackd did not accept clients within 10 s: " + Log();
  return false;
}

void TJackServer::Stop() {
  FProcess.Stop(5000);
  if (!FLogPath.empty()) unlink(FLogPath.c_str());
  FLogPath.clear();
}

void TJackServer::Kill() {
  FProcess.Signal(SIGKILL);
  FProcess.WaitStatus(-1);
}

std::string TJackServer::Log() const {
  std::ifstream in(FLogPath);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace testjack
