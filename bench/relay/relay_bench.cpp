// Relay benchmark: qmidinet and VORLANX side by side on the same private JACK
// server, fed by a paced UDP sender and read by a recording JACK client.
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
      "usage: %s [--vorlanx PATH] [--results FILE] [--periods 64,256] [--rates 100,1000,...]\n"
      "          [--seconds S] [--burst N] [--idle S] [--relays qmidinet,VORLANX]\n",
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
  return !O.Periods.empty() && O.PhaseSeconds > 0 && O.PhaseSeconds <= 5 && O.IdleSeconds >= 0 &&
         O.IdleSeconds <= 60;
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
  return nullptr;
}

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
      TRelayResult r;
      r.Relay = name == "vorlanx" ? "VORLANX" : name;
      r.NotRun = "no JACK server: " + error;
      result.Relays.push_back(r);
    }
    return result;
  }
  Info.Commands.push_back("jackd --no-realtime -n " + server.Name() + " -d dummy -r " +
                          std::to_string(kSampleRate) + " -p " + std::to_string(Period));
  TRunner runner(O, recorder);
  for (const auto& name : O.Relays) {
    std::unique_ptr<TRelay> relay = MakeRelay(name, O);
    if (!relay) continue;
    char dir[] = "/tmp/relay-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) continue;
    std::fprintf(stderr, "period %u: %s\n", Period, relay->Name());
    TRelayResult r = runner.Run(*relay, dir);
    relay->Stop();
    if (!r.Command.empty()) Info.Commands.push_back(r.Command);
    if (!r.NotRun.empty()) std::fprintf(stderr, "  %s: %s\n", relay->Name(), r.NotRun.c_str());
    result.Relays.push_back(std::move(r));
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
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
  info.Commands.push_back(
      "make bench   # runs bench/run-relay.sh build, among the other benchmarks");
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
