// A relay under test runs as a child process: started with an environment of
// our choosing, its output kept in a log file, stopped by its process id.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/Loopback.h"
#include "tests/support/Process.h"

namespace relaybench {

using loopback::FreeUdpPort;
using support::WaitUntil;

class TChild {
 public:
  TChild() = default;
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  ~TChild() { Stop(); }

  // Argv[0] is looked up in PATH. Env entries ("NAME=value") replace or add to
  // ours; Unset names are removed. Runs in Dir, output to LogPath.
  bool Start(const std::vector<std::string>& Argv, const std::vector<std::string>& Env,
             const std::vector<std::string>& Unset, const std::string& Dir,
             const std::string& LogPath, std::string* Error);
  // SIGTERM, then SIGKILL when it has not ended within 5 s.
  void Stop() { FProcess.Stop(); }
  bool Alive() { return FProcess.Running(); }
  pid_t Pid() const { return FProcess.Pid(); }
  std::string Log() const;

 private:
  support::TProcess FProcess;
  std::string FLogPath;
};

}  // namespace relaybench
