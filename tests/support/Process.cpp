#include "tests/support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace support {

const char* const TLaunch::kPipe = "|pipe";
const char* const TLaunch::kInherit = "|inherit";
const char* const TLaunch::kToStdout = "|stdout";

namespace {

std::string NameOf(const std::string& Entry) { return Entry.substr(0, Entry.find('=')); }

std::vector<std::string> Environment(const std::vector<std::string>& Changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    bool changed = false;
    for (const std::string& c : Changes) changed = changed || NameOf(c) == NameOf(*e);
    if (!changed) env.push_back(*e);
  }
  for (const std::string& c : Changes)
    if (c.find('=') != std::string::npos) env.push_back(c);
  return env;
}

// The program exec will run: a path as it is, a name through PATH.
std::string Resolve(const std::string& Program) {
  if (Program.find('/') != std::string::npos) return Program;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (size_t at = 0; at <= dirs.size();) {
    size_t end = dirs.find(':', at);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = (end > at ? dirs.substr(at, end - at) : ".") + "/" + Program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return Program;
}

std::vector<char*> Pointers(std::vector<std::string>& Strings) {
  std::vector<char*> p;
  for (std::string& s : Strings) p.push_back(&s[0]);
  p.push_back(nullptr);
  return p;
}

// A stream of the child: the descriptor it gets (-1: keep ours), and for a
// pipe our end.
struct TStream {
  int child = -1;
  int ours = -1;
};

bool OpenStream(const std::string& Spec, int Fd, TStream& S, std::string* Error) {
  if (Spec == TLaunch::kInherit || Spec == TLaunch::kToStdout) return true;
  if (Spec == TLaunch::kPipe) {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) {
      if (Error) *Error = std::string("pipe: ") + std::strerror(errno);
      return false;
    }
    S.child = Fd == 0 ? p[0] : p[1];
    S.ours = Fd == 0 ? p[1] : p[0];
    return true;
  }
  S.child = Fd == 0 ? ::open(Spec.c_str(), O_RDONLY | O_CLOEXEC)
                    : ::open(Spec.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (S.child < 0 && Error) *Error = Spec + ": " + std::strerror(errno);
  return S.child >= 0;
}

}  // namespace

TProcess::~TProcess() { Reset(); }

void TProcess::Reset() {
  if (Running()) {
    Signal(SIGKILL);
    WaitStatus(-1);
  }
  Close(FIn);
  Close(FOut);
  Close(FErr);
  FStatus = -1;
}

void TProcess::Close(int& Fd) {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

bool TProcess::Start(const TLaunch& Launch, std::string* Error) {
  Reset();
  if (Launch.Argv.empty()) {
    if (Error) *Error = "nothing to start";
    return false;
  }
  // A peer that ends early is an error code of its own, not the end of us.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args = Launch.Argv;
  args[0] = Resolve(args[0]);
  std::vector<std::string> env = Environment(Launch.Env);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  TStream streams[3];
  const std::string* specs[3] = {&Launch.Stdin, &Launch.Stdout, &Launch.Stderr};
  bool ok = true;
  for (int fd = 0; fd < 3 && ok; ++fd) ok = OpenStream(*specs[fd], fd, streams[fd], Error);
  const bool errToOut = Launch.Stderr == TLaunch::kToStdout;
  const char* dir = Launch.Dir.empty() ? nullptr : Launch.Dir.c_str();
  const bool diesWithParent = Launch.DiesWithParent;
  const pid_t parent = ::getpid();
  pid_t pid = ok ? ::fork() : -1;
  if (pid == 0) {
    // Only what is safe between fork and exec from here on.
    if (diesWithParent) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
    }
    for (int fd = 0; fd < 3; ++fd) {
      if (streams[fd].child == fd)
        ::fcntl(fd, F_SETFD, 0);  // dup2 would keep close-on-exec
      else if (streams[fd].child >= 0)
        ::dup2(streams[fd].child, fd);
    }
    if (errToOut) ::dup2(1, 2);
    if (dir && ::chdir(dir) != 0) ::_exit(127);
    ::signal(SIGPIPE, SIG_DFL);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (ok && pid < 0 && Error) *Error = std::string("fork: ") + std::strerror(errno);
  for (TStream& s : streams)
    if (s.child >= 0) ::close(s.child);
  if (pid < 0) {
    for (TStream& s : streams)
      if (s.ours >= 0) ::close(s.ours);
    return false;
  }
  FPid = pid;
  FIn = streams[0].ours;
  FOut = streams[1].ours;
  FErr = streams[2].ours;
  return true;
}

bool TProcess::Running() { return FPid > 0 && WaitStatus(0) == -1; }

void TProcess::Signal(int Sig) {
  if (FPid > 0) ::kill(FPid, Sig);
}

int TProcess::WaitStatus(int TimeoutMs) {
  if (FPid <= 0) return FStatus;
  for (int waited = 0;; waited += 10) {
    int status = 0;
    pid_t r = ::waitpid(FPid, &status, TimeoutMs < 0 ? 0 : WNOHANG);
    if (r < 0 && errno == EINTR) continue;
    if (r == FPid || r < 0) {
      // r < 0: reaped elsewhere, nothing left to wait for.
      FStatus = r < 0 ? 0 : status;
      FPid = -1;
      return FStatus;
    }
    if (waited >= TimeoutMs) return -1;
    SleepMs(10);
  }
}

int TProcess::Wait(int TimeoutMs) {
  int status = WaitStatus(TimeoutMs);
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int TProcess::Stop(int GraceMs) {
  if (FPid <= 0) return -1;
  Signal(SIGTERM);
  if (WaitStatus(GraceMs) == -1) {
    Signal(SIGKILL);
    WaitStatus(-1);
  }
  return FStatus;
}

bool TProcess::WriteIn(const std::string& Bytes) {
  size_t at = 0;
  while (at < Bytes.size()) {
    ssize_t n = FIn < 0 ? -1 : ::write(FIn, Bytes.data() + at, Bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

void SleepMs(int Ms) {
  timespec ts{Ms / 1000, (Ms % 1000) * 1000000L};
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace support
