// Peers that are child processes (socat, proxies): started with fork and exec,
// found listening through /proc. Linux only.
#include <chrono>
#include <cstdio>
#include <stdexcept>
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
// Whether /proc/net/tcp shows a socket listening on 127.0.0.1 or any address at port.
bool ShowsListening(uint16_t port) {
  FILE* f = std::fopen("/proc/net/tcp", "r");
  if (!f) return false;
  char line[512];
  bool found = false;
  unsigned addr = 0, lport = 0, state = 0;
  while (!found && std::fgets(line, sizeof(line), f))
    if (std::sscanf(line, " %*d: %8X:%4X %*8X:%*4X %2X", &addr, &lport, &state) == 3)
      found = lport == port && state == 0x0A;  // TCP_LISTEN
  std::fclose(f);
  return found;
}
}  // namespace

bool WaitListening(uint16_t port, int timeoutMs) {
  // Looks without connecting: a peer that serves one connection must not see a probe.
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (ShowsListening(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace streampeer
