// A relay under test runs as a child process: started with an environment of
// our choosing, its output kept in a log file, stopped by its process id.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace relaybench {

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
  void Stop();
  bool Alive();
  pid_t Pid() const { return FPid; }
  std::string Log() const;

 private:
  pid_t FPid = -1;
  std::string FLogPath;
};

// Polls Ready every 20 ms until it holds or TimeoutMs passes.
bool WaitUntil(const std::function<bool()>& Ready, int TimeoutMs);

// A UDP port nobody in this namespace is bound to.
uint16_t FreeUdpPort();

}  // namespace relaybench
