#include "Child.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace relaybench {
namespace {

std::string NameOf(const std::string& Entry) { return Entry.substr(0, Entry.find('=')); }

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& Env,
                                           const std::vector<std::string>& Unset) {
  std::vector<std::string> out;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string name = NameOf(*e);
    bool drop = false;
    for (const auto& u : Unset) drop = drop || u == name;
    for (const auto& v : Env) drop = drop || NameOf(v) == name;
    if (!drop) out.push_back(*e);
  }
  out.insert(out.end(), Env.begin(), Env.end());
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& Strings) {
  std::vector<char*> p;
  for (auto& s : Strings) p.push_back(&s[0]);
  p.push_back(nullptr);
  return p;
}

}  // namespace

bool TChild::Start(const std::vector<std::string>& Argv, const std::vector<std::string>& Env,
                   const std::vector<std::string>& Unset, const std::string& Dir,
                   const std::string& LogPath, std::string* Error) {
  Stop();
  std::vector<std::string> args = Argv;
  std::vector<std::string> env = MergedEnvironment(Env, Unset);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, LogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addchdir_np(&actions, Dir.c_str());
  pid_t pid;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    if (Error) *Error = "cannot start " + Argv[0] + ": " + std::strerror(rc);
    return false;
  }
  FPid = pid;
  FLogPath = LogPath;
  return true;
}

bool TChild::Alive() {
  if (FPid <= 0) return false;
  if (waitpid(FPid, nullptr, WNOHANG) == FPid) {
    FPid = -1;
    return false;
  }
  return true;
}

void TChild::Stop() {
  if (FPid <= 0) return;
  kill(FPid, SIGTERM);
  if (!WaitUntil([this] { return !Alive(); }, 5000) && FPid > 0) {
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
  }
  FPid = -1;
}

std::string TChild::Log() const {
  std::ifstream in(FLogPath);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WaitUntil(const std::function<bool()>& Ready, int TimeoutMs) {
  for (int waited = 0;; waited += 20) {
    if (Ready()) return true;
    if (waited >= TimeoutMs) return false;
    usleep(20000);
  }
}

uint16_t FreeUdpPort() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  if (fd >= 0) close(fd);
  return port;
}

}  // namespace relaybench
