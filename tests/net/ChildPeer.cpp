// Peers that are child processes (socat, proxies): started with fork and exec,
// found listening through /proc. Linux only.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "StreamPeer.h"

namespace streampeer {

using Clock = std::chrono::steady_clock;

Child::Child(const std::vector<std::string>& argv, const std::string& stdinPath,
             const std::string& stdoutPath, const std::string& stderrPath) {
  support::TLaunch launch;
  launch.Argv = argv;
  launch.Stdin = stdinPath.empty() ? support::TLaunch::kPipe : stdinPath;
  launch.Stdout = stdoutPath;
  launch.Stderr = stderrPath.empty() ? support::TLaunch::kInherit : stderrPath;
  std::string error;
  if (!Start(launch, &error)) throw std::runtime_error("cannot start " + argv[0] + ": " + error);
}

void Child::WriteStdin(const std::string& bytes) {
  if (!WriteIn(bytes)) throw std::runtime_error("write to child");
}

namespace {
std::string ExeOf(const std::string& proc) {
  char path[4096];
  ssize_t n = readlink((proc + "/exe").c_str(), path, sizeof(path));
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : "";
}

// The inodes of the sockets process pid holds, once it runs a program of its
// own: until its exec it holds copies of ours, our listeners among them.
std::set<unsigned long> SocketInodes(int pid) {
  std::set<unsigned long> inodes;
  const std::string proc = "/proc/" + std::to_string(pid);
  if (ExeOf(proc) == ExeOf("/proc/self")) return inodes;
  const std::string dir = proc + "/fd";
  DIR* d = opendir(dir.c_str());
  if (!d) return inodes;
  while (dirent* e = readdir(d)) {
    char target[64];
    ssize_t n = readlink((dir + "/" + e->d_name).c_str(), target, sizeof(target) - 1);
    unsigned long inode = 0;
    if (n > 0 && (target[n] = '\0', std::sscanf(target, "socket:[%lu]", &inode) == 1))
      inodes.insert(inode);
  }
  closedir(d);
  return inodes;
}

// The port of a TCP socket listening in /proc/net/tcp among inodes (0: none).
uint16_t ListeningAmong(const std::set<unsigned long>& inodes) {
  FILE* f = std::fopen("/proc/net/tcp", "r");
  if (!f) return 0;
  char line[512];
  uint16_t found = 0;
  unsigned lport = 0, state = 0;
  unsigned long inode = 0;
  while (!found && std::fgets(line, sizeof(line), f))
    if (std::sscanf(line, " %*d: %*8X:%4X %*8X:%*4X %2X %*8X:%*8X %*2X:%*8X %*8X %*u %*d %lu",
                    &lport, &state, &inode) == 3 &&
        state == 0x0A && inodes.count(inode))
      found = static_cast<uint16_t>(lport);
  std::fclose(f);
  return found;
}
}  // namespace

uint16_t ListeningPortOf(int pid, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (uint16_t port = ListeningAmong(SocketInodes(pid))) return port;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

}  // namespace streampeer
