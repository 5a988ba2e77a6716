// Many host-name lookups at once: the socket component's bounded lookup pool
// against a thread per lookup, glibc's getaddrinfo_a and libuv. Every name
// comes from a private /etc/hosts in a mount namespace of the benchmark's own
// (nsswitch: files only; resolv.conf: 127.0.0.1), so no query leaves the machine.
// Usage: dns_bench [LOOKUPS] [REPEATS]
#include <sched.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "LookupRuns.h"
#include "tests/support/PrivateResolver.h"

namespace {

using namespace dnsbench;

constexpr int kHostNames = 1000;

std::string Name(int i) { return "vx-bench-" + std::to_string(i) + ".test"; }

std::string HostsFile() {
  std::string hosts = "127.0.0.1 localhost\n";
  for (int i = 0; i < kHostNames; ++i)
    hosts += "10.78." + std::to_string(i / 250) + "." + std::to_string(1 + i % 250) + " " +
             Name(i) + "\n";
  return hosts;
}

using TRunner = TRunResult (*)(const std::vector<std::string>&, bool);

// Each run in a child process of its own, so that no run sees another's threads.
bool RunInChild(TRunner Runner, const std::vector<std::string>& Names, bool Cancel,
                TRunResult* Out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    close(fds[0]);
    TRunResult r = Runner(Names, Cancel);
    _exit(write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r) ? 0 : 1);
  }
  close(fds[1]);
  bool ok = read(fds[0], Out, sizeof *Out) == static_cast<ssize_t>(sizeof *Out);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct TSummary {
  double MedianMs = 0;
  int PeakThreads = 0;  // the largest of the runs
  TRunResult Last;
};

TSummary Measure(TRunner Runner, const std::vector<std::string>& Names, bool Cancel, int Repeats) {
  std::vector<double> ms;
  TSummary s;
  for (int k = 0; k < Repeats; ++k) {
    TRunResult r;
    if (!RunInChild(Runner, Names, Cancel, &r)) {
      std::fprintf(stderr, "dns_bench: a run failed\n");
      continue;
    }
    ms.push_back(r.Seconds * 1000);
    s.PeakThreads = std::max(s.PeakThreads, r.PeakThreads);
    s.Last = r;
  }
  if (ms.empty()) return s;
  std::sort(ms.begin(), ms.end());
  s.MedianMs = ms[ms.size() / 2];
  return s;
}

double LoadAverage() {
  double l[1] = {0};
  return getloadavg(l, 1) == 1 ? l[0] : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int lookups = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
  if (!testresolver::EnterPrivateResolver(HostsFile())) {
    std::fprintf(stderr, "dns_bench: %s (run as root)\n",
                 testresolver::PrivateResolverError().c_str());
    return 1;
  }
  // Also a network namespace where one can be made: nothing but loopback exists.
  const bool ownNet = unshare(CLONE_NEWNET) == 0;

  std::vector<std::string> names;
  for (int i = 0; i < lookups; ++i) names.push_back(Name(i % kHostNames));

  struct TWay {
    const char* Label;
    TRunner Runner;
  } ways[] = {{"VORLANX (DnsLookup, pool of 4)", RunVorlanx},
              {"thread per lookup (getaddrinfo)", RunThreadPerLookup},
              {"glibc getaddrinfo_a", RunGetaddrinfoA},
              {"libuv uv_getaddrinfo (pool of 4)", RunLibuv}};

  utsname u{};
  uname(&u);
  std::printf("# Host-name lookups: %d at once from one thread\n\n", lookups);
  std::printf(
      "%s %s, %ld cores; load average %.2f before the run. Names from a private /etc/hosts "
      "of %d entries (nsswitch: files only; resolv.conf: 127.0.0.1)%s. Each figure: the median "
      "of %d runs, each in a fresh child process; peak threads: the largest count of the "
      "process's threads seen (sampled every millisecond, the sampler not counted) in any run.\n\n",
      u.sysname, u.release, sysconf(_SC_NPROCESSORS_ONLN), LoadAverage(), kHostNames,
      ownNet ? ", in a network namespace of its own" : "", repeats);
  for (bool cancel : {false, true}) {
    std::printf("## %s\n\n", cancel ? "Every other lookup cancelled right after issuing"
                                    : "Every lookup answered");
    std::printf(
        "| way | time to last answer, ms | ratio to VORLANX | peak threads | answered | "
        "failed | cancelled |\n| --- | ---: | ---: | ---: | ---: | ---: | ---: |\n");
    double base = 0;
    for (const TWay& way : ways) {
      TSummary s = Measure(way.Runner, names, cancel, repeats);
      if (base == 0) base = s.MedianMs;
      std::printf("| %s | %.1f | %.2f | %d | %d | %d | %d |\n", way.Label, s.MedianMs,
                  base > 0 ? s.MedianMs / base : 0.0, s.PeakThreads, s.Last.Answered, s.Last.Failed,
                  s.Last.Cancelled);
      std::fflush(stdout);
    }
    std::printf("\n");
  }
  std::printf("Load average %.2f after the run.\n", LoadAverage());
  return 0;
}
