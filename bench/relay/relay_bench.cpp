// Relay benchmark: the minimal relay, VORLANX and qmidinet side by side on the
// same private JACK server, fed by a paced UDP sender and read by a recording
// JACK client, in interleaved rounds: one sitting alone moves by a third on a
// shared machine, so each relay runs once a round, in turn.
// Runs as root in network and mount namespaces of its own; see run-relay.sh.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Namespace.h"
#include "Recorder.h"
#include "Relay.h"
#include "Report.h"
#include "Runner.h"
#include "tests/support/JackServer.h"

using namespace relaybench;

namespace {

constexpr unsigned kSampleRate = 48000;

template <typename T>
std::vector<T> ParseList(const std::string& Text) {
  std::vector<T> out;
  std::istringstream in(Text);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) {
      std::istringstream v(item);
      T x;
      if (v >> x) out.push_back(x);
    }
  return out;
}

int Usage(const char* Self) {
  std::fprintf(
      stderr,
      "usage: %s [--vorlanx PATH] [--baseline PATH] [--minimal PATH] [--results FILE] [--periods 64,256]\n"
      "          [--rates 100,1000,...] [--seconds S] [--burst N] [--idle S] [--rounds N]\n"
      "          [--relays minimal,VORLANX,VORLANX-baseline,qmidinet,minimal-epoll,minimal-uring,\n"
      "                    minimal-uring-msg,minimal-uring-pair]\n"
      "          [--counts 0|1] [--count-rate R]\n"
      "          [--profiles DIR]   (keeps the counts' strace and callgrind outputs)\n",
      Self);
  return 2;
}

bool ParseOptions(int argc, char** argv, TOptions& O) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--vorlanx")
      O.Vorlanx = v;
    else if (a == "--baseline")
      O.Baseline = v;
    else if (a == "--minimal")
      O.Minimal = std::filesystem::absolute(v).string();  // it runs in a folder of its own
    else if (a == "--profiles")
      O.ProfilesDir = v;
    else if (a == "--rounds")
      O.Rounds = static_cast<unsigned>(std::atoi(v.c_str()));
    else if (a == "--counts")
      O.Counts = v != "0";
    else if (a == "--count-rate")
      O.CountRate = std::atof(v.c_str());
    else if (a == "--results")
      O.ResultsPath = v;
    else if (a == "--periods")
      O.Periods = ParseList<unsigned>(v);
    else if (a == "--rates")
      O.Rates = ParseList<double>(v);
    else if (a == "--seconds")
      O.PhaseSeconds = std::atof(v.c_str());
    else if (a == "--burst")
      O.Burst = static_cast<uint32_t>(std::atol(v.c_str()));
    else if (a == "--idle")
      O.IdleSeconds = std::atof(v.c_str());
    else if (a == "--relays")
      O.Relays = ParseList<std::string>(v);
    else
      return false;
  }
  return !O.Periods.empty() && O.Rounds >= 1 && O.Rounds <= 20 && O.CountRate > 0 &&
         O.PhaseSeconds > 0 && O.PhaseSeconds <= 5 && O.IdleSeconds >= 0 && O.IdleSeconds <= 60;
}

std::string Now() {
  char b[64];
  time_t t = time(nullptr);
  strftime(b, sizeof b, "%Y-%m-%d %H:%M %Z", localtime(&t));
  return b;
}

std::string JoinArgs(int argc, char** argv) {
  std::string s;
  for (int i = 0; i < argc; ++i) s += (i ? " " : "") + std::string(argv[i]);
  return s;
}

std::unique_ptr<TRelay> MakeRelay(const std::string& Name, const TOptions& O) {
  if (Name == "qmidinet") return MakeQmidinet();
  if (Name == "VORLANX" || Name == "vorlanx") return MakeVorlanx(O.Vorlanx);
  if (Name == "VORLANX-baseline" && !O.Baseline.empty()) return MakeVorlanx(O.Baseline, "VORLANX-baseline");
  if (Name == "minimal") return MakeMinimal(O.Minimal);
  if (Name == "minimal-epoll") return MakeMinimal(O.Minimal, "epoll");
  if (Name == "minimal-uring") return MakeMinimal(O.Minimal, "uring");
  if (Name == "minimal-uring-msg") return MakeMinimal(O.Minimal, "uring-msg");
  if (Name == "minimal-uring-pair") return MakeMinimal(O.Minimal, "uring-pair");
  return nullptr;
}

std::string CanonicalName(const std::string& Name) { return Name == "vorlanx" ? "VORLANX" : Name; }

// A fresh empty folder for one start of a relay, removed afterwards.
class TWorkDir {
 public:
  TWorkDir() {
    char dir[] = "/tmp/relay-bench-XXXXXX";
    if (mkdtemp(dir) != nullptr) FPath = dir;
  }
  ~TWorkDir() {
    std::error_code ignored;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ignored);
  }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

TPeriodResult RunPeriod(unsigned Period, const TOptions& O, TRunInfo& Info) {
  TPeriodResult result;
  result.Period = Period;
  result.Rate = kSampleRate;
  std::fprintf(stderr, "period %u: starting a private JACK server\n", Period);
  testjack::TJackServer server;
  std::string error;
  TRecorder recorder;
  if (!server.Start(Period, kSampleRate, &error) || !recorder.Open("relaybench", &error)) {
    for (const auto& name : O.Relays) {
      TRelayRounds slot{CanonicalName(name), {}, {}};
      TRelayResult r;
      r.Relay = slot.Relay;
      r.NotRun = "no JACK server: " + error;
      slot.Rounds.push_back(r);
      result.Relays.push_back(slot);
    }
    return result;
  }
  Info.Commands.push_back("jackd --no-realtime -n " + server.Name() + " -d dummy -r " +
                          std::to_string(kSampleRate) + " -p " + std::to_string(Period));
  TRunner runner(O, recorder);
  for (const auto& name : O.Relays)
    if (MakeRelay(name, O)) result.Relays.push_back(TRelayRounds{CanonicalName(name), {}, {}});
  const size_t n = result.Relays.size();
  for (unsigned round = 0; round < O.Rounds; ++round)
    // Each round starts with the next relay, so none always runs first.
    for (size_t k = 0; k < n; ++k) {
      TRelayRounds& slot = result.Relays[(round + k) % n];
      std::unique_ptr<TRelay> relay = MakeRelay(slot.Relay, O);
      TWorkDir dir;
      if (dir.Path().empty()) continue;
      std::fprintf(stderr, "period %u, round %u: %s\n", Period, round + 1, relay->Name());
      TRelayResult r = runner.Run(*relay, dir.Path());
      relay->Stop();
      if (round == 0 && !r.Command.empty()) Info.Commands.push_back(r.Command);
      if (!r.NotRun.empty()) std::fprintf(stderr, "  %s: %s\n", relay->Name(), r.NotRun.c_str());
      slot.Rounds.push_back(std::move(r));
    }
  if (O.Counts && Period == O.Periods.back())
    for (TRelayRounds& slot : result.Relays) {
      std::unique_ptr<TRelay> relay = MakeRelay(slot.Relay, O);
      TWorkDir dir;
      std::fprintf(stderr, "period %u: counting %s under strace and callgrind\n", Period,
                   relay->Name());
      slot.Counts = runner.Count(*relay, dir.Path());
      if (!slot.Counts.NotRun.empty())
        std::fprintf(stderr, "  %s: %s\n", relay->Name(), slot.Counts.NotRun.c_str());
    }
  result.Stale = recorder.Stale();
  result.Foreign = recorder.Foreign();
  recorder.Close();
  server.Stop();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) return Usage(argv[0]);
  std::string error;
  if (!EnterBenchNamespaces(&error)) {
    std::fprintf(stderr, "relay benchmark: %s\n", error.c_str());
    return 1;
  }
  TRunInfo info;
  info.Started = Now();
  info.Machine = DescribeMachine();
  info.LoadBefore = LoadAverage();
  info.PhaseSeconds = options.PhaseSeconds;
  info.IdleSeconds = options.IdleSeconds;
  info.Rounds = options.Rounds;
  info.CountSeconds = options.CountSeconds;
  info.Commands.push_back(
      "make bench   # runs bench/run-relay.sh build, among the other benchmarks");
  if (options.Counts)
    info.Commands.push_back(
        "strace -c -f -p PID; valgrind --tool=callgrind RELAY (callgrind_control -z and -d around "
        "each count); perf stat -x, -e raw_syscalls:sys_enter,context-switches -p PID around each "
        "phase");
  info.Commands.push_back(
      "nice -n " + std::to_string(getpriority(PRIO_PROCESS, 0)) + " " + JoinArgs(argc, argv) +
      "   # in new network and mount namespaces: lo up with multicast, 224.0.0.0/4 via lo, a "
      "tmpfs on /dev/shm; what it starts inherits the nice value");
  std::vector<TPeriodResult> periods;
  for (unsigned period : options.Periods) periods.push_back(RunPeriod(period, options, info));
  info.LoadAfter = LoadAverage();
  const std::string report = FormatReport(info, periods);
  std::fputs(report.c_str(), stdout);
  if (!options.ResultsPath.empty()) {
    std::ofstream out(options.ResultsPath, std::ios::trunc);
    out << report;
    if (!out)
      std::fprintf(stderr, "relay benchmark: cannot write %s\n", options.ResultsPath.c_str());
  }
  return 0;
}
