#include "Child.h"

#include <fstream>
#include <sstream>

namespace relaybench {

bool TChild::Start(const std::vector<std::string>& Argv, const std::vector<std::string>& Env,
                   const std::vector<std::string>& Unset, const std::string& Dir,
                   const std::string& LogPath, std::string* Error) {
  FProcess.Stop();
  support::TLaunch launch;
  launch.Argv = Argv;
  launch.Env = Env;
  launch.Env.insert(launch.Env.end(), Unset.begin(), Unset.end());
  launch.Dir = Dir;
  launch.Stdin = support::TLaunch::kInherit;
  launch.Stdout = LogPath;
  launch.Stderr = support::TLaunch::kToStdout;
  std::string error;
  if (!FProcess.Start(launch, &error)) {
    if (Error) *Error = "cannot start " + Argv[0] + ": " + error;
    return false;
  }
  FLogPath = LogPath;
  return true;
}

std::string TChild::Log() const {
  std::ifstream in(FLogPath);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace relaybench
