#include "Counters.h"

#include "ProcStats.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace relaybench {
namespace {

std::string ReadFile(const std::string& Path) { return ReadWholeFile(Path); }

bool OnPath(const char* Program) {
  const std::string cmd = std::string("command -v ") + Program + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Runs a command to its end (at most TimeoutMs); true when it exited 0.
bool RunQuietly(const std::vector<std::string>& Argv, int TimeoutMs) {
  support::TProcess p;
  support::TLaunch launch;
  launch.Argv = Argv;
  launch.Stderr = support::TLaunch::kToStdout;
  if (!p.Start(launch)) return false;
  return p.Wait(TimeoutMs) == 0;
}

// Sends a word to perf's control fifo and waits (at most 10 s) for its "ack".
bool Command(int Ctl, int Ack, const std::string& Word) {
  const std::string line = Word + "\n";
  if (write(Ctl, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return false;
  pollfd p{Ack, POLLIN, 0};
  if (poll(&p, 1, 10000) != 1) return false;
  char b[16];
  return read(Ack, b, sizeof b) > 0;
}

}  // namespace

bool TPerfCounter::Available() {
  static const bool available =
      OnPath("perf") && RunQuietly({"perf", "stat", "-e", "raw_syscalls:sys_enter", "true"}, 10000);
  return available;
}

bool TPerfCounter::Start(pid_t Pid, const std::string& WorkDir) {
  Stop();
  const std::string ctl = WorkDir + "/perf-ctl", ack = WorkDir + "/perf-ack";
  FOut = WorkDir + "/perf.out";
  unlink(ctl.c_str());
  unlink(ack.c_str());
  if (mkfifo(ctl.c_str(), 0600) != 0 || mkfifo(ack.c_str(), 0600) != 0) return false;
  // Read-write, so that opening never waits for perf's end of the fifo.
  FCtl = open(ctl.c_str(), O_RDWR | O_CLOEXEC);
  FAck = open(ack.c_str(), O_RDWR | O_CLOEXEC);
  support::TLaunch launch;
  launch.Argv = {"perf",
                 "stat",
                 "-x,",
                 "-e",
                 "raw_syscalls:sys_enter,context-switches",
                 "-D",
                 "-1",
                 "--control",
                 "fifo:" + ctl + "," + ack,
                 "-p",
                 std::to_string(Pid),
                 "-o",
                 FOut};
  launch.Stderr = support::TLaunch::kToStdout;
  if (FCtl < 0 || FAck < 0 || !FPerf.Start(launch) || !Command(FCtl, FAck, "enable")) {
    Stop();
    return false;
  }
  return true;
}

void TPerfCounter::Stop(int64_t* Syscalls, int64_t* Switches) {
  if (Syscalls) *Syscalls = -1;
  if (Switches) *Switches = -1;
  if (FPerf.Running()) {
    const bool disabled = Command(FCtl, FAck, "disable");
    FPerf.Signal(SIGINT);
    const bool ended = FPerf.Wait(10000) >= 0;
    if (disabled && ended) {
      const std::string out = ReadFile(FOut);
      if (Syscalls) *Syscalls = PerfCount(out, "raw_syscalls:sys_enter");
      if (Switches) *Switches = PerfCount(out, "context-switches");
    }
    FPerf.Stop();
  }
  for (int* fd : {&FCtl, &FAck})
    if (*fd >= 0) close(*fd), *fd = -1;
}

int64_t PerfCount(const std::string& Output, const std::string& Event) {
  std::istringstream in(Output);
  for (std::string line; std::getline(in, line);) {
    // value,unit,event,...
    const size_t a = line.find(','), b = a == std::string::npos ? a : line.find(',', a + 1);
    if (b == std::string::npos) continue;
    const size_t c = line.find(',', b + 1);
    if (line.substr(b + 1, c == std::string::npos ? c : c - b - 1) != Event) continue;
    const std::string value = line.substr(0, a);
    if (value == "<not counted>") return 0;
    char* end = nullptr;
    const long long v = std::strtoll(value.c_str(), &end, 10);
    return end != value.c_str() ? v : -1;
  }
  return -1;
}

bool TStraceCounter::Available() {
  static const bool available = OnPath("strace");
  return available;
}

bool TStraceCounter::Start(pid_t Pid, const std::string& WorkDir) {
  Stop();
  FOut = WorkDir + "/strace.out";
  const std::string log = WorkDir + "/strace.log";
  support::TLaunch launch;
  launch.Argv = {"strace", "-c", "-f", "-o", FOut, "-p", std::to_string(Pid)};
  launch.Stdout = log;
  launch.Stderr = support::TLaunch::kToStdout;
  if (!FStrace.Start(launch)) return false;
  // It says so on standard error once it is attached to the process.
  if (!support::WaitUntil(
          [&] { return ReadFile(log).find("attached") != std::string::npos || !FStrace.Running(); },
          10000) ||
      !FStrace.Running()) {
    FStrace.Stop();
    return false;
  }
  return true;
}

std::map<std::string, int64_t> TStraceCounter::Stop() {
  if (!FStrace.Running()) return {};
  FStrace.Signal(SIGINT);
  if (FStrace.Wait(10000) < 0) {
    FStrace.Stop();
    return {};
  }
  return StraceCalls(ReadFile(FOut));
}

std::map<std::string, int64_t> StraceCalls(const std::string& Output) {
  // % time, seconds, usecs/call, calls, [errors,] syscall (or "total").
  std::map<std::string, int64_t> calls;
  std::istringstream in(Output);
  for (std::string line; std::getline(in, line);) {
    std::istringstream f(line);
    std::vector<std::string> w;
    for (std::string x; f >> x;) w.push_back(x);
    if (w.size() < 5 || w[0].find_first_not_of("0123456789.") != std::string::npos) continue;
    const std::string& n = w[3];
    if (n.find_first_not_of("0123456789") != std::string::npos) continue;
    calls[w.back()] = std::stoll(n);
  }
  return calls;
}

bool CallgrindZero(pid_t Pid) {
  return RunQuietly({"callgrind_control", "-z", std::to_string(Pid)}, 60000);
}

int64_t CallgrindDump(pid_t Pid, const std::string& OutFile, std::string* DumpPath) {
  namespace fs = std::filesystem;
  if (!RunQuietly({"callgrind_control", "-d", std::to_string(Pid)}, 60000)) return -1;
  // Each dump is OutFile.N, N counting up.
  const fs::path base(OutFile);
  int newest = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(base.parent_path(), ec)) {
    const std::string name = e.path().filename().string(), stem = base.filename().string() + ".";
    if (name.rfind(stem, 0) == 0) newest = std::max(newest, std::atoi(name.c_str() + stem.size()));
  }
  if (newest == 0) return -1;
  const std::string path = OutFile + "." + std::to_string(newest);
  if (DumpPath) *DumpPath = path;
  return CallgrindSummary(ReadFile(path));
}

int64_t CallgrindSummary(const std::string& Dump) {
  const size_t at = Dump.find("\nsummary:");
  if (at == std::string::npos) return -1;
  return std::strtoll(Dump.c_str() + at + 9, nullptr, 10);
}

}  // namespace relaybench
